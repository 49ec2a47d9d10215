// The project's artwork records: the forms and sizes the screens rely on, drawn whole by the
// firmware's own image routine.
#include <gtest/gtest.h>

#include "graphics/image.hpp"
#include "project/pictures.hpp"
#include "support/recording_display.hpp"

namespace {

struct Header {
    uint8_t format;
    int width;
    int height;
    int paletteEntries;
};

Header Read(const uint8_t* record) {
    Header header{record[0], record[1] | (record[2] << 8), record[3] | (record[4] << 8), 0};
    if ((header.format & 0x7F) == 4 || (header.format & 0x7F) == 8) {
        header.paletteEntries = record[5] + 1;
    }
    return header;
}

TEST(Pictures, HaveTheFormsAndSizesTheScreensUse) {
    const Header logo = Read(pucImage_Picture70);
    EXPECT_EQ(logo.format, 0x88);
    EXPECT_EQ(logo.width, 300);
    EXPECT_EQ(logo.height, 65);
    EXPECT_EQ(logo.paletteEntries, 46);

    const Header small = Read(pucImage_Picture98);
    EXPECT_EQ(small.format, 0x88);
    EXPECT_EQ(small.width, 100);
    EXPECT_EQ(small.height, 21);
    EXPECT_EQ(small.paletteEntries, 48);
    EXPECT_EQ(pucImage_Picture101, pucImage_Picture98) << "one copy under four names";
    EXPECT_EQ(pucImage_Picture107, pucImage_Picture98);

    for (const uint8_t* lamp :
         {ObjectList6_0_pucImage_Picture9, ObjectList63_1_pucImage_Picture9}) {
        const Header header = Read(lamp);
        EXPECT_EQ(header.format, 0xC0);
        EXPECT_EQ(header.width, 80);
        EXPECT_EQ(header.height, 80);
    }
    EXPECT_NE(ObjectList6_0_pucImage_Picture9, ObjectList6_1_pucImage_Picture9);
}

TEST(Pictures, LampsAreRoundOnWhiteAndDifferInColour) {
    // Corners white (the screens' background), the centres grey and green.
    const auto pixel = [](const uint8_t* lamp, int x, int y) {
        const uint8_t* p = lamp + 5 + 2 * (y * 80 + x);
        return static_cast<uint16_t>(p[0] | (p[1] << 8));
    };
    for (const uint8_t* lamp : {g_pucPictureLampOff, g_pucPictureLampOn}) {
        EXPECT_EQ(pixel(lamp, 0, 0), 0xFFFF);
        EXPECT_EQ(pixel(lamp, 79, 79), 0xFFFF);
    }
    const uint16_t off = pixel(g_pucPictureLampOff, 48, 52);
    const uint16_t on = pixel(g_pucPictureLampOn, 48, 52);
    const auto green = [](uint16_t v) { return (v >> 5) & 0x3F; };
    const auto red = [](uint16_t v) { return v >> 11; };
    EXPECT_GT(green(on), 2 * red(on)) << "the lit lamp is green";
    EXPECT_NEAR(green(off) / 2.0, red(off), 3.0) << "the dark lamp is grey";
}

TEST(Pictures, TheLogosDecodeToEveryPixelOfTheirArea) {
    // A stream that ended early would leave pixels of the picture undrawn.
    for (const uint8_t* logo : {pucImage_Picture70, pucImage_Picture98}) {
        testsupport::RecordingDisplay display;
        DrawContext context;
        GrContextInit(&context, display.driver());
        const Header header = Read(logo);
        _GrImageDraw(&context, logo, 5, 7);
        EXPECT_EQ(display.touched(), static_cast<size_t>(header.width * header.height));
        EXPECT_NE(display.at(5, 7), testsupport::RecordingDisplay::kUntouched);
        EXPECT_NE(display.at(5 + header.width - 1, 7 + header.height - 1),
                  testsupport::RecordingDisplay::kUntouched);
        EXPECT_EQ(display.at(5 + header.width, 7), testsupport::RecordingDisplay::kUntouched);
        EXPECT_EQ(display.at(5, 7), testsupport::RecordingDisplay::Native(0xFFFFFF))
            << "white corner";
    }
}

}  // namespace
