// Drawing pictures: the clip window, plain rows, and the compressed stream with its window.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "graphics/image.hpp"
#include "support/recording_display.hpp"

namespace {

using testsupport::RecordingDisplay;
using Op = RecordingDisplay::Op;

constexpr uint32_t kInk = 0x01000001;
constexpr uint32_t kPaper = 0x01000002;

std::vector<uint8_t> Header(uint8_t format, int width, int height) {
    return {format, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
}

// An 8-bit picture whose palette entry n is the colour 0x0000nn.
std::vector<uint8_t> Palette8(uint8_t format, int width, int height) {
    std::vector<uint8_t> record = Header(format, width, height);
    record.push_back(255);
    for (int n = 0; n < 256; ++n) {
        record.insert(record.end(), {static_cast<uint8_t>(n), 0, 0});
    }
    return record;
}

// Pixel bytes as a stream of literals only: a zero flag byte before every eight.
std::vector<uint8_t> Literals(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> stream;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 8 == 0) {
            stream.push_back(0);
        }
        stream.push_back(bytes[i]);
    }
    return stream;
}

uint8_t PixelValue(int x, int y) {
    return static_cast<uint8_t>(x * 7 + y * 31 + 1);
}

struct Canvas {
    RecordingDisplay display;
    DrawContext context{};
    Canvas() {
        GrContextInit(&context, display.driver());
        context.foreground = kInk;
        context.background = kPaper;
    }
    void clip(int16_t xmin, int16_t ymin, int16_t xmax, int16_t ymax) {
        const Rect rect{xmin, ymin, xmax, ymax};
        GrContextClipRegionSet(&context, &rect);
        display.expectWithin(context.clip);
    }
    size_t pixelsHanded() const {
        size_t pixels = 0;
        for (const auto& call : display.calls()) {
            pixels += static_cast<size_t>(call.count);
        }
        return pixels;
    }
};

// 100 x 21, 8 bits, compressed; the record ends exactly where its stream does, so a decoder
// that reads on is caught by the sanitizer.
std::vector<uint8_t> SmallLogo(int rows) {
    std::vector<uint8_t> plain;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < 100; ++x) {
            plain.push_back(PixelValue(x, y));
        }
    }
    std::vector<uint8_t> record = Palette8(0x88, 100, 21);
    const std::vector<uint8_t> stream = Literals(plain);
    record.insert(record.end(), stream.begin(), stream.end());
    return record;
}

TEST(CompressedImage, DecodesEveryRowAtTheClipCorner) {
    const std::vector<uint8_t> record = SmallLogo(21);
    Canvas c;
    c.clip(40, 30, 300, 200);
    _GrImageDraw(&c.context, record.data(), 40, 30);
    EXPECT_EQ(c.pixelsHanded(), 2100u);
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(c.display.at(40 + x, 30 + y), RecordingDisplay::Native(PixelValue(x, y)));
        }
    }
    // A row of 100 bytes spans windows and is drawn in one piece per window.
    EXPECT_EQ(c.display.calls()[0].count, 32);
    EXPECT_EQ(c.display.calls()[3].count, 4);
    EXPECT_EQ(c.display.calls()[4].y, 31);  // the next row continues in the same window
    EXPECT_EQ(c.display.calls()[4].count, 28);
}

TEST(CompressedImage, RowsAboveTheClipAreDecodedNotDrawn) {
    const std::vector<uint8_t> record = SmallLogo(21);
    Canvas c;
    c.clip(40, 30, 300, 200);
    _GrImageDraw(&c.context, record.data(), 40, 25);
    EXPECT_EQ(c.pixelsHanded(), 1600u);
    for (const auto& call : c.display.calls()) {
        EXPECT_GE(call.y, 30);
    }
    EXPECT_EQ(c.display.at(40, 30), RecordingDisplay::Native(PixelValue(0, 5)));
    EXPECT_EQ(c.display.at(139, 45), RecordingDisplay::Native(PixelValue(99, 20)));
}

TEST(CompressedImage, RowsBelowTheClipAreNeitherDecodedNorDrawn) {
    // Only 16 rows of stream exist: reading any of the last five would leave the record.
    const std::vector<uint8_t> record = SmallLogo(16);
    Canvas c;
    c.clip(0, 0, 319, 199);
    _GrImageDraw(&c.context, record.data(), 10, 184);
    EXPECT_EQ(c.pixelsHanded(), 1600u);
    EXPECT_EQ(c.display.at(109, 199), RecordingDisplay::Native(PixelValue(99, 15)));
}

TEST(CompressedImage, BackReferencesRepeatFromTheRing) {
    // A literal 9, then offset 31 length 9: nine more 9s; then offset 10 length 2 reaches 22
    // bytes back, before the start, where the cleared window gives zeros.
    std::vector<uint8_t> record = Palette8(0x88, 12, 1);
    record.insert(record.end(), {0x60, 9, 31 << 3 | 7, 10 << 3 | 0});
    Canvas c;
    c.display.fill(0);
    g_pucDictionary[20] = 0x55;  // left over from an earlier picture
    g_pucDictionary[21] = 0x55;
    _GrImageDraw(&c.context, record.data(), 0, 0);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(c.display.at(x, 0), RecordingDisplay::Native(9)) << x;
    }
    EXPECT_EQ(c.display.at(10, 0), RecordingDisplay::Native(0));
    EXPECT_EQ(c.display.at(11, 0), RecordingDisplay::Native(0));
}

TEST(CompressedImage, OneBitRowsSpanningWindowsWithLeftClip) {
    // 300 x 2 at 1 bit: 38 bytes a row, so rows cross the window edge at odd places.
    std::vector<uint8_t> plain(76);
    for (size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    std::vector<uint8_t> record = Header(0x81, 300, 2);
    const auto stream = Literals(plain);
    record.insert(record.end(), stream.begin(), stream.end());
    Canvas c;
    c.clip(13, 0, 250, 239);
    _GrImageDraw(&c.context, record.data(), 0, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 13; x <= 250; ++x) {
            const bool bit = (plain[static_cast<size_t>(y) * 38 + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(c.display.at(x, y), bit ? kInk : kPaper) << x << ", " << y;
        }
    }
    EXPECT_EQ(c.display.calls()[0].x0, 13 & 7);
}

TEST(PlainImage, OneBitLeftClippedStartsInsideTheByte) {
    // 16 x 2: rows 0xA5 0x0F and 0x3C 0xF0.
    std::vector<uint8_t> record = Header(0x01, 16, 2);
    record.insert(record.end(), {0xA5, 0x0F, 0x3C, 0xF0});
    Canvas c;
    c.clip(10, 10, 100, 100);
    _GrImageDraw(&c.context, record.data(), 7, 10);
    ASSERT_EQ(c.display.calls().size(), 2u);
    const auto& call = c.display.calls()[0];
    EXPECT_EQ(std::tuple(call.x, call.x0, call.count, call.bpp), std::tuple(10, 3, 13, 1));
    const char* rows[] = {"1010010100001111", "0011110011110000"};
    for (int y = 0; y < 2; ++y) {
        for (int x = 3; x < 16; ++x) {
            EXPECT_EQ(c.display.at(7 + x, 10 + y), rows[y][x] == '1' ? kInk : kPaper);
        }
    }
}

TEST(PlainImage, SixteenBitSkipsRowsAboveTheClip) {
    const int width = 5;
    std::vector<uint8_t> record = Header(0xC0, width, 6);
    for (int i = 0; i < width * 6; ++i) {
        record.push_back(static_cast<uint8_t>(i));
        record.push_back(0xF8);
    }
    Canvas c;
    c.clip(0, 3, 319, 239);
    _GrImageDraw(&c.context, record.data(), -2, 0);
    ASSERT_EQ(c.display.calls().size(), 3u);
    const auto& first = c.display.calls()[0];
    EXPECT_EQ(std::tuple(first.x, first.y, first.x0, first.count, first.bpp),
              std::tuple(0, 3, 0, 3, 16));
    // Row 3 (6 x width bytes in), column 2.
    EXPECT_EQ(c.display.at(0, 3), RecordingDisplay::Native565(0xF800 | (3 * width + 2)));
}

TEST(PlainImage, WhollyOutsideDrawsNothing) {
    std::vector<uint8_t> record = Header(0x08, 4, 4);
    record.push_back(0);
    record.insert(record.end(), {1, 2, 3});
    record.resize(record.size() + 16);
    Canvas c;
    c.clip(10, 10, 20, 20);
    _GrImageDraw(&c.context, record.data(), 6, 12);   // x + width <= clip.xmin
    _GrImageDraw(&c.context, record.data(), 21, 12);  // x > clip.xmax
    _GrImageDraw(&c.context, record.data(), 12, 6);   // y + height <= clip.ymin
    _GrImageDraw(&c.context, record.data(), 12, 21);  // y > clip.ymax
    EXPECT_TRUE(c.display.calls().empty());
    _GrImageDraw(&c.context, record.data(), 7, 7);
    EXPECT_EQ(c.display.calls().size(), 1u);
}

// The largest direct-colour record, 65535 x 65535 pixels (8.6 GB, mapped but never backed),
// with all but its last row above the clip: the skip of 65534 rows of 131070 bytes is beyond
// 32 bits and must land on the last row.
TEST(PlainImage, SkippingRowsOfTheLargestRecordDoesNotOverflow) {
    constexpr size_t kSide = 65535;
    constexpr size_t kStride = 2 * kSide;
    const size_t bytes = 5 + kStride * kSide;
    void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(mapping, MAP_FAILED);
    auto* record = static_cast<uint8_t*>(mapping);
    const std::vector<uint8_t> header = Header(0xC0, kSide, kSide);
    std::copy(header.begin(), header.end(), record);
    uint8_t* lastRow = record + 5 + kStride * (kSide - 1);
    for (int x = 0; x < 320; ++x) {
        lastRow[2 * x] = static_cast<uint8_t>(x);
        lastRow[2 * x + 1] = 0x07;
    }
    Canvas c;
    c.clip(0, 0, 319, 239);
    _GrImageDraw(&c.context, record, 0, -static_cast<int32_t>(kSide - 1));
    ASSERT_EQ(c.display.calls().size(), 1u);
    for (int x = 0; x < 320; x += 53) {
        EXPECT_EQ(c.display.at(x, 0), RecordingDisplay::Native565(0x0700 | (x & 0xFF))) << x;
    }
    munmap(mapping, bytes);
}

TEST(ImageEntryPoints, WidgetsAndScreensReachTheDrawRoutine) {
    EXPECT_EQ(GrImageDraw, &_GrImageDraw);
    EXPECT_EQ(hmi_DrawImage, nullptr);  // filled by display start-up
}

}  // namespace
