// Function names as the image's reports and fault messages give them: demangled, the way the
// source spells them, from anywhere inside the function.
#include <gtest/gtest.h>

#include <string>

#include "firmware_image.hpp"

namespace {

TEST(FirmwareImage, NamesTheFunctionAtAnAddressAsTheSourceDoes) {
    std::string error;
    const auto image = sim::arm::FirmwareImage::Read(PANEL_FIRMWARE_IMAGE, &error);
    ASSERT_TRUE(image) << "the target image is missing (" << error
                       << "): build the target-release preset first";
    struct Case {
        const char* symbol;
        const char* reported;
    };
    const Case cases[] = {
        {"_Z12GrStringDrawPK11DrawContextPKclllm",
         "GrStringDraw(DrawContext const*, char const*, long, long, long, unsigned long)"},
        {"_Z13hmi_GotoFramem", "hmi_GotoFrame(unsigned long)"},
        {"_ZN12_GLOBAL__N_112Decompressor10DrawWindowEv",
         "(anonymous namespace)::Decompressor::DrawWindow()"},
        {"image_decode", "image_decode"},  // hand-written: a C name
    };
    for (const Case& c : cases) {
        const auto symbol = image->symbol(c.symbol);
        ASSERT_TRUE(symbol) << c.symbol;
        ASSERT_GT(symbol->size, 2u) << c.symbol;
        EXPECT_EQ(image->functionAt(symbol->address), c.reported);
        EXPECT_EQ(image->functionAt(symbol->address + symbol->size - 2), c.reported);
    }
}

}  // namespace
