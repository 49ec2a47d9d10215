// Pictures encoded by the image tool and drawn by the firmware equal their plain pixels, for
// every format, random sizes and random clip positions; compressed ones go out window by window.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "graphics/image.hpp"
#include "image_codec.hpp"
#include "support/fresh_board.hpp"
#include "support/image_drivers.hpp"
#include "support/random_streams.hpp"
#include "support/recording_display.hpp"

namespace {

using testsupport::RecordingDisplay;

constexpr uint32_t kInk = 0x01ABCDEF;
constexpr uint32_t kPaper = 0x01FEDCBA;

// Random pictures with runs and repeats, so that the encoder finds matches of every length.
pngio::RgbImage RandomPicture(std::mt19937& random, int width, int height, int colors) {
    std::vector<uint32_t> palette;
    for (int i = 0; i < colors; ++i) {
        palette.push_back(random() & 0xFFFFFF);
    }
    pngio::RgbImage picture;
    picture.width = width;
    picture.height = height;
    uint32_t current = palette[0];
    for (int i = 0; i < width * height; ++i) {
        if (random() % 3 == 0) {
            current = palette[random() % palette.size()];
        }
        picture.pixels.push_back(current);
    }
    return picture;
}

int Trials() {
    return std::getenv("PANEL_LONG_TESTS") != nullptr ? 20000 : 700;
}

TEST(ImageRoundTrip, EncodedPicturesDrawAsTheirPlainPixels) {
    const uint8_t formats[] = {0x01, 0x04, 0x08, 0x81, 0x84, 0x88, 0xC0};
    std::mt19937 random(20240611);
    for (int trial = 0; trial < Trials(); ++trial) {
        const uint8_t format = formats[trial % 7];
        const int bpp = imagegen::BitsPerPixel(format);
        const int width = 1 + static_cast<int>(random() % (trial % 5 == 0 ? 330 : 70));
        const int height = 1 + static_cast<int>(random() % 40);
        const int colors = bpp == 1 ? 2 : 1 + static_cast<int>(random() % (1u << bpp));
        const pngio::RgbImage picture = RandomPicture(random, width, height, colors);

        // Expected native colour of each pixel, from the plain forms.
        std::vector<uint32_t> expected;
        imagegen::Encoded encoded;
        if (format == 0xC0) {
            encoded = imagegen::Encode(picture, format);
            for (uint32_t rgb : picture.pixels) {
                expected.push_back(RecordingDisplay::Native565(imagegen::ToRgb565(rgb)));
            }
        } else {
            const imagegen::Indexed indexed =
                bpp == 1 ? imagegen::Threshold(picture) : imagegen::Quantize(picture, 1 << bpp);
            ASSERT_EQ(indexed.indexes.size(), picture.pixels.size());
            if (bpp != 1) {
                // Few enough colours: the palette is exact.
                for (size_t i = 0; i < picture.pixels.size(); ++i) {
                    ASSERT_EQ(indexed.palette[indexed.indexes[i]], picture.pixels[i]);
                }
            }
            encoded = imagegen::EncodeIndexed(indexed, format);
            for (uint8_t index : indexed.indexes) {
                expected.push_back(bpp == 1 ? (index != 0 ? kInk : kPaper)
                                            : RecordingDisplay::Native(indexed.palette[index]));
            }
        }

        RecordingDisplay display;
        display.fill(0);
        DrawContext context;
        GrContextInit(&context, display.driver());
        context.foreground = kInk;
        context.background = kPaper;
        const int16_t xmin = static_cast<int16_t>(random() % 200);
        const int16_t ymin = static_cast<int16_t>(random() % 150);
        const Rect clip{xmin, ymin, static_cast<int16_t>(xmin + random() % 120),
                        static_cast<int16_t>(ymin + random() % 90)};
        GrContextClipRegionSet(&context, &clip);
        display.expectWithin(context.clip);
        const int x = xmin - width + static_cast<int>(random() % (width + 130));
        const int y = ymin - height + static_cast<int>(random() % (height + 100));

        // The record alone in its allocation: reading past its end is caught.
        const std::vector<uint8_t> record = encoded.record;
        _GrImageDraw(&context, record.data(), x, y);

        const Rect& c = context.clip;
        if (format != 0xC0 && (format & 0x80) != 0) {
            // A compressed picture reaches the driver one 32-byte window of its rows at a time:
            // one call for each piece of a row in a window that shows.
            const int perByte = 8 / bpp;
            const int stride = (width * bpp + 7) / 8;
            const int first = std::max(c.xmin - x, 0);
            const int last = std::min(c.xmax - x, width - 1);
            std::vector<std::array<int32_t, 4>> pieces;
            for (int row = 0; row < height && y + row <= c.ymax; ++row) {
                for (int b = 0, piece = 0; b < stride && y + row >= c.ymin; b += piece) {
                    const int at = row * stride + b;
                    piece = std::min(stride - b, 32 - at % 32);
                    const int from = std::max(b * perByte, first);
                    const int to = std::min((b + piece) * perByte - 1, last);
                    if (from <= to) {
                        pieces.push_back({x + from, y + row, from & 7, to - from + 1});
                    }
                }
            }
            std::vector<std::array<int32_t, 4>> calls;
            for (const auto& call : display.calls()) {
                calls.push_back({call.x, call.y, call.x0, call.count});
            }
            ASSERT_EQ(calls, pieces) << "format 0x" << std::hex << int{format} << std::dec << " "
                                     << width << "x" << height << " at (" << x << ", " << y << ")";
        }
        for (int py = 0; py < 240; ++py) {
            for (int px = 0; px < 320; ++px) {
                const int ix = px - x;
                const int iy = py - y;
                const bool inside = px >= c.xmin && px <= c.xmax && py >= c.ymin && py <= c.ymax &&
                                    ix >= 0 && ix < width && iy >= 0 && iy < height;
                const uint32_t want = inside ? expected[static_cast<size_t>(iy) * width + ix] : 0u;
                ASSERT_EQ(display.at(px, py), want)
                    << "format 0x" << std::hex << int{format} << std::dec << " " << width << "x"
                    << height << " at (" << x << ", " << y << "), pixel (" << ix << ", " << iy
                    << ")";
            }
        }
    }
}

TEST(ImageCodec, CompressedStreamsRoundTripAndUseTheHistory) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> plain(random() % 600);
        for (auto& byte : plain) {
            byte = static_cast<uint8_t>(random() % 4 == 0 ? random() : (random() % 3));
        }
        const std::vector<uint8_t> stream = imagegen::Compress(plain);
        ASSERT_EQ(imagegen::Decompress(stream, plain.size()), plain);
    }
    // A constant run costs one literal (or none: the history starts as zeros) and then one
    // reference per nine bytes, plus a flag byte per eight items.
    const std::vector<uint8_t> zeros(900, 0);
    EXPECT_EQ(imagegen::Compress(zeros).size(), 100u + 13u);
    const std::vector<uint8_t> sevens(10, 7);
    const std::vector<uint8_t> expected{0x40, 7, 31 << 3 | 7};
    EXPECT_EQ(imagegen::Compress(sevens), expected);
}

// Any byte string is a stream: random ones, biased to runs and long references, drawn under
// random clips hand the driver exactly the pieces and bytes that a plain decoder gives, each
// from where it lies in the window.
std::vector<testsupport::PieceCall> g_pieces;

void RecordPiece(void*, int32_t x, int32_t y, int32_t x0, int32_t count, int32_t bpp,
                 const uint8_t* data, const void*) {
    g_pieces.push_back({x, y, x0, count, bpp, static_cast<int32_t>(data - g_pucDictionary),
                        testsupport::PieceBytes(data, x0, count, bpp)});
}

TEST(ImageCodec, RandomStreamsDrawWhatAPlainDecoderGives) {
    std::mt19937 random(77);
    RecordingDisplay display;
    DisplayDriver driver = *display.driver();
    driver.PixelDrawMultiple = RecordPiece;
    for (int trial = 0; trial < Trials(); ++trial) {
        const testsupport::RandomStream s = testsupport::MakeRandomStream(random);
        DrawContext context;
        GrContextInit(&context, &driver);
        const auto at = [&](int span) {
            return static_cast<int16_t>(static_cast<int>(random() % span) - 20);
        };
        const Rect clip{at(200), at(150), at(340), at(260)};
        GrContextClipRegionSet(&context, &clip);
        const int32_t x = at(340) - s.width / 2;
        const int32_t y = at(260) - s.height / 2;
        g_pieces.clear();
        _GrImageDraw(&context, s.record.data(), x, y);
        const Rect& c = context.clip;
        ASSERT_EQ(g_pieces, testsupport::ExpectedPieces(s, x, y, c.xmin, c.ymin, c.xmax, c.ymax))
            << "trial " << trial << ": " << s.bpp << " bpp, " << s.width << "x" << s.height
            << " at (" << x << ", " << y << ")";
    }
}

// The target's decoder loop is written by hand: the image's drawing routine, run on the emulated
// core over the same random streams, hands its driver exactly what the host build's does.
TEST(ImageCodec, TheImageDecodesAsTheHostBuild) {
    if (!std::ifstream(PANEL_FIRMWARE_IMAGE).good()) {
        FAIL() << "no target image at " << PANEL_FIRMWARE_IMAGE
               << " (build the target-release preset first; ./panel test does)";
    }
    std::string why;
    std::unique_ptr<ImageDrivers> image =
        ImageDrivers::Load(FreshBoard(), PANEL_FIRMWARE_IMAGE, &why);
    ASSERT_TRUE(image) << why;
    const uint32_t draw = image->symbol("_Z12_GrImageDrawPK11DrawContextPKhll");
    const uint32_t dictionary = image->symbol("g_pucDictionary");
    ASSERT_NE(draw, 0u);
    ASSERT_NE(dictionary, 0u);
    std::vector<testsupport::PieceCall> imagePieces;
    ImageDrivers* const core = image.get();
    const uint32_t pixelDrawMultiple = image->stub([&](const uint32_t(&a)[8]) {
        const auto i = [](uint32_t word) { return static_cast<int32_t>(word); };
        const uint32_t offset = a[6] - dictionary;
        // Out of the window (a fault to report, not to read): no bytes.
        const std::vector<uint8_t> window = core->bytes(dictionary, 32 + 32);
        imagePieces.push_back({i(a[1]), i(a[2]), i(a[3]), i(a[4]), i(a[5]), i(offset),
                               offset < 32 ? testsupport::PieceBytes(window.data() + offset,
                                                                     i(a[3]), i(a[4]), i(a[5]))
                                           : std::vector<uint8_t>{}});
    });
    std::mt19937 random(78);
    RecordingDisplay display;
    DisplayDriver driver = *display.driver();
    driver.PixelDrawMultiple = RecordPiece;
    size_t pieces = 0;
    for (int trial = 0, drawn = 0; drawn < Trials() / 2; ++trial) {
        const testsupport::RandomStream s = testsupport::MakeRandomStream(random);
        // The record goes to the image's scratch area after its context and driver.
        constexpr uint32_t kContext = 28, kDriver = 40;
        if (s.record.size() > 4000 - kContext - kDriver) {
            continue;
        }
        ++drawn;
        DrawContext context;
        GrContextInit(&context, &driver);
        const auto at = [&](int span) {
            return static_cast<int16_t>(static_cast<int>(random() % span) - 20);
        };
        // Half under the whole screen, so that most of the window's paths are drawn.
        const Rect clip =
            trial % 2 == 0 ? Rect{0, 0, 319, 239} : Rect{at(200), at(150), at(340), at(260)};
        GrContextClipRegionSet(&context, &clip);
        const int32_t x = at(300) - s.width / 4;
        const int32_t y = at(220) - s.height / 4;
        g_pieces.clear();
        _GrImageDraw(&context, s.record.data(), x, y);

        // The image's own layouts: 32-bit pointers.
        std::vector<uint8_t> blob(kContext + kDriver);
        const auto put = [&blob](uint32_t offset, const void* value, size_t size) {
            std::memcpy(blob.data() + offset, value, size);
        };
        const uint32_t base = image->scratch(blob.data(), 0);  // where the blob will lie
        const uint32_t driverAt = base + kContext;
        put(0, &kContext, 4);
        put(4, &driverAt, 4);
        put(8, &context.clip, sizeof(Rect));
        put(kContext, &kDriver, 4);
        put(kContext + 16, &pixelDrawMultiple, 4);
        blob.insert(blob.end(), s.record.begin(), s.record.end());
        image->scratch(blob.data(), static_cast<uint32_t>(blob.size()));
        imagePieces.clear();
        bool ok = false;
        image->call(
            draw,
            {base, base + kContext + kDriver, static_cast<uint32_t>(x), static_cast<uint32_t>(y)},
            &ok);
        ASSERT_TRUE(ok) << "trial " << trial << ": the image faulted";
        ASSERT_EQ(imagePieces, g_pieces)
            << "trial " << trial << ": " << s.bpp << " bpp, " << s.width << "x" << s.height
            << " at (" << x << ", " << y << ")";
        pieces += g_pieces.size();
    }
    EXPECT_GT(pieces, 1000u);  // the clips leave enough to draw
}

TEST(ImageCodec, QuantiserKeepsToThePaletteSize) {
    std::mt19937 random(9);
    pngio::RgbImage picture;
    picture.width = 64;
    picture.height = 64;
    for (int i = 0; i < 64 * 64; ++i) {
        // A smooth gradient of about 4000 colours.
        picture.pixels.push_back(static_cast<uint32_t>((i % 64) * 4) << 16 |
                                 static_cast<uint32_t>((i / 64) * 4) << 8 | (random() % 16));
    }
    for (int colors : {16, 256}) {
        const imagegen::Indexed indexed = imagegen::Quantize(picture, colors);
        ASSERT_LE(indexed.palette.size(), static_cast<size_t>(colors));
        EXPECT_GE(indexed.palette.size(), static_cast<size_t>(colors) * 3 / 4);
        // Each pixel is close to its entry: within the cell a palette of this size allows.
        const int allowed = colors == 16 ? 48 : 16;
        for (size_t i = 0; i < picture.pixels.size(); ++i) {
            const uint32_t a = picture.pixels[i];
            const uint32_t b = indexed.palette[indexed.indexes[i]];
            for (int shift : {16, 8, 0}) {
                const int difference = std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                                static_cast<int>((b >> shift) & 0xFF));
                ASSERT_LE(difference, allowed) << "pixel " << i << " with " << colors << " colours";
            }
        }
    }
}

}  // namespace
