// The PNG reader's size limit: a file of a few bytes may claim any size, and the reader must
// refuse it before allocating its pixels (libpng's own size macro wraps in 32 bits).
#include <gtest/gtest.h>

#include <fstream>

#include "png_io.hpp"
#include "support/scratch_path.hpp"

namespace {

// 65 bytes: a 60000 x 60000 RGB header and an empty image stream.
const uint8_t kClaimsHugeSize[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0xea, 0x60, 0x00, 0x00, 0xea, 0x60, 0x08, 0x02, 0x00, 0x00, 0x00, 0x0f,
    0xb0, 0xe2, 0x15, 0x00, 0x00, 0x00, 0x08, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x03, 0x00,
    0x00, 0x00, 0x00, 0x01, 0x48, 0x06, 0x89, 0xd2, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e,
    0x44, 0xae, 0x42, 0x60, 0x82};

TEST(PngIo, APictureClaimingMoreThanTheLimitIsRefusedBeforeItsPixelsAreRead) {
    const std::string why = "60000 x 60000 pixels is more than the 16777216 a picture may have";
    pngio::RgbImage image;
    std::string error;
    EXPECT_FALSE(pngio::Decode(kClaimsHugeSize, sizeof(kClaimsHugeSize), "huge.png", image, error));
    EXPECT_EQ(error, "huge.png: " + why);

    const std::string path = testsupport::ScratchPath("huge.png");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(kClaimsHugeSize), sizeof(kClaimsHugeSize));
    EXPECT_FALSE(pngio::Read(path, image, error));
    EXPECT_EQ(error, path + ": " + why);
    std::remove(path.c_str());
}

}  // namespace
