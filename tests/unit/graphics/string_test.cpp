// Measuring and drawing text, the glyph code forms, and the shape of the generated fonts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "graphics/string.hpp"
#include "project/_frame1.hpp"
#include "project/_frame2.hpp"
#include "project/_frame4.hpp"
#include "project/_frame5.hpp"
#include "support/recording_display.hpp"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define POISON(address, size) ((void)(address), (void)(size))
#define UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace {

using testsupport::RecordingDisplay;
using Op = RecordingDisplay::Op;

constexpr uint32_t kInk = 0x01000001;
constexpr uint32_t kPaper = 0x01000002;
constexpr uint32_t kOld = 0x01000003;

// A font built in the test: every glyph is the same small record unless replaced.
struct TestFont {
    std::vector<uint8_t> data;
    FontRecord record{};

    TestFont(uint8_t format, uint8_t height, const std::vector<std::vector<uint8_t>>& glyphs) {
        record.format = format;
        record.height = height;
        record.baseline = static_cast<uint8_t>(height - 3);
        for (int code = 32; code <= 126; ++code) {
            record.offset[code - 32] = static_cast<uint16_t>(data.size());
            const auto& glyph = glyphs[static_cast<size_t>(code - 32) % glyphs.size()];
            data.insert(data.end(), glyph.begin(), glyph.end());
        }
        record.data = data.data();
    }
    // Appended in a slot of its own of 8 bytes, 8-byte aligned (so that a sanitizer can fence
    // it off exactly).
    void set(char code, const std::vector<uint8_t>& glyph) {
        data.resize((data.size() + 7) / 8 * 8);
        record.offset[code - 32] = static_cast<uint16_t>(data.size());
        data.insert(data.end(), glyph.begin(), glyph.end());
        data.resize((data.size() + 7) / 8 * 8);
        record.data = data.data();
    }
};

struct Text {
    RecordingDisplay display;
    DrawContext context{};
    explicit Text(const FontRecord* font) {
        GrContextInit(&context, display.driver());
        context.font = font;
        context.foreground = kInk;
        context.background = kPaper;
        display.fill(kOld);
    }
    void clip(int16_t xmin, int16_t ymin, int16_t xmax, int16_t ymax) {
        const Rect rect{xmin, ymin, xmax, ymax};
        GrContextClipRegionSet(&context, &rect);
        display.expectWithin(context.clip);
    }
};

TEST(StringWidth, SumsGlyphWidthsUpToLengthOrNul) {
    DrawContext context{};
    context.font = &g_sFontCm12;
    EXPECT_EQ(GrStringWidthGet(&context, "AB", -1), 17);
    EXPECT_EQ(GrStringWidthGet(&context, "", -1), 0);
    EXPECT_EQ(GrStringWidthGet(&context, "AB", 1), 9);
    EXPECT_EQ(GrStringWidthGet(&context, "AB", 0), 0);
    EXPECT_EQ(GrStringWidthGet(&context, "AB", 5), 17);
    // Bytes without a glyph measure as the full stop.
    const char odd[] = {static_cast<char>(200), 10, 127, 0};
    EXPECT_EQ(GrStringWidthGet(&context, odd, -1), 3 * GrStringWidthGet(&context, ".", -1));
}

TEST(StringDraw, WorkedExampleRecordsDecodeToTheirPixels) {
    // The full stop: 15 background, 3 background + 1 ink, 7 background in a 2 x 13 cell; the
    // space: an escape for 64 background pixels and one more, 5 x 13.
    TestFont font(1, 13, {{0x05, 0x05, 0x00, 0x08, 0x10}});
    font.set('.', {0x05, 0x02, 0xF0, 0x31, 0x70});
    Text t(&font.record);
    GrStringDraw(&t.context, ". ", -1, 10, 20, 1);
    for (int row = 0; row < 13; ++row) {
        for (int column = 0; column < 7; ++column) {
            const bool ink = column == 0 && row == 9;
            EXPECT_EQ(t.display.at(10 + column, 20 + row), ink ? kInk : kPaper)
                << "column " << column << " row " << row;
        }
    }
    size_t changed = 0;
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            changed += t.display.at(x, y) != kOld ? 1 : 0;
        }
    }
    EXPECT_EQ(changed, 26u + 65u);
}

TEST(StringDraw, PiecesFollowTheRowsAndSinglePixelsAreClippedHere) {
    // Width 3: 2 background, then 4 ink (1 at the row's end, 3 on the next row).
    TestFont font(1, 4, {{0x03, 0x03, 0x24}});
    Text t(&font.record);
    GrStringDraw(&t.context, "A", 1, 0, 0, 1);
    const auto& calls = t.display.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].op, Op::LineDrawH);  // two background pixels
    EXPECT_EQ(calls[0].color, kPaper);
    EXPECT_EQ(calls[1].op, Op::PixelDraw);  // the last column alone
    EXPECT_EQ(std::tuple(calls[1].x, calls[1].y, calls[1].color), std::tuple(2, 0, kInk));
    EXPECT_EQ(calls[2].op, Op::LineDrawH);
    EXPECT_EQ(std::tuple(calls[2].x, calls[2].x2, calls[2].y), std::tuple(0, 2, 1));
    // The rows the code does not reach are not drawn at all.
    EXPECT_EQ(t.display.at(0, 2), kOld);
    // The caller's context keeps its colours.
    EXPECT_EQ(t.context.foreground, kInk);

    Text clipped(&font.record);
    clipped.clip(0, 0, 1, 10);
    GrStringDraw(&clipped.context, "A", 1, 0, 0, 1);
    EXPECT_EQ(clipped.display.count(Op::PixelDraw), 0u);
    EXPECT_EQ(clipped.display.at(1, 1), kInk);
}

TEST(StringDraw, BitStreamFormDecodesAcrossBytes) {
    // 3 x 3 cell "010 / 111 / 010" = 0101 1101 0 + seven padding bits, more background.
    TestFont font(0, 3, {{0x04, 0x03, 0x5D, 0x00}});
    Text t(&font.record);
    GrStringDraw(&t.context, "+", 1, 0, 0, 0);
    const char* expected[] = {".#.", "###", ".#."};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            EXPECT_EQ(t.display.at(column, row), expected[row][column] == '#' ? kInk : kOld);
        }
    }
}

TEST(StringDraw, TransparentTextKeepsWhatWasThere) {
    Text opaque(&g_sFontCm14);
    Text clear(&g_sFontCm14);
    GrStringDraw(&opaque.context, "Wyj", -1, 3, 4, 1);
    GrStringDraw(&clear.context, "Wyj", -1, 3, 4, 0);
    const int width = GrStringWidthGet(&opaque.context, "Wyj", -1);
    size_t ink = 0;
    for (int y = 4; y < 4 + 14; ++y) {
        for (int x = 3; x < 3 + width; ++x) {
            EXPECT_NE(opaque.display.at(x, y), kOld);  // the whole cell is coded
            EXPECT_EQ(clear.display.at(x, y), opaque.display.at(x, y) == kInk ? kInk : kOld);
            ink += clear.display.at(x, y) == kInk ? 1 : 0;
        }
    }
    EXPECT_GT(ink, 20u);
}

TEST(StringDraw, LengthAndNulAndUnmappedBytes) {
    Text none(&g_sFontCm12);
    GrStringDraw(&none.context, "ABC", 0, 0, 0, 1);
    EXPECT_TRUE(none.display.calls().empty());

    Text nul(&g_sFontCm12);
    Text ab(&g_sFontCm12);
    GrStringDraw(&nul.context, "AB\0CD", -1, 0, 0, 1);
    GrStringDraw(&ab.context, "AB", 2, 0, 0, 1);
    EXPECT_EQ(nul.display.calls().size(), ab.display.calls().size());

    Text odd(&g_sFontCm12);
    Text dots(&g_sFontCm12);
    const char bytes[] = {static_cast<char>(200), 10, 0};
    GrStringDraw(&odd.context, bytes, -1, 0, 0, 1);
    GrStringDraw(&dots.context, "..", -1, 0, 0, 1);
    for (int y = 0; y < 13; ++y) {
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(odd.display.at(x, y), dots.display.at(x, y));
        }
    }
}

// Clipped drawing shows exactly the unclipped drawing's pixels inside the clip.
TEST(StringDraw, ClippedTextIsTheUnclippedTextCut) {
    std::mt19937 random(11);
    const FontRecord* fonts[] = {&g_sFontCm12, &g_sFontCm14, &g_sFontCm14b};
    for (int trial = 0; trial < 60; ++trial) {
        const FontRecord* font = fonts[trial % 3];
        const int x = static_cast<int>(random() % 120) - 20;
        const int y = static_cast<int>(random() % 40) - 10;
        const uint32_t opaque = random() % 2;
        Text full(font);
        Text cut(font);
        const int16_t xmin = static_cast<int16_t>(random() % 100);
        const int16_t ymin = static_cast<int16_t>(random() % 20);
        cut.clip(xmin, ymin, static_cast<int16_t>(xmin + random() % 80),
                 static_cast<int16_t>(ymin + random() % 14));
        const char* text = "Wej|cie 1: {ok} _gqy~";
        GrStringDraw(&full.context, text, -1, x, y, opaque);
        GrStringDraw(&cut.context, text, -1, x, y, opaque);
        const Rect& c = cut.context.clip;
        for (int py = 0; py < 60; ++py) {
            for (int px = 0; px < 320; ++px) {
                const bool inside = px >= c.xmin && px <= c.xmax && py >= c.ymin && py <= c.ymax;
                ASSERT_EQ(cut.display.at(px, py), inside ? full.display.at(px, py) : kOld)
                    << "trial " << trial << " at (" << px << ", " << py << ")";
            }
        }
    }
}

// The drawing rule of run-length glyphs stated plainly, run by run, as the oracle of the calls
// the driver gets: runs split at the cell's row ends; a piece of two or more pixels is one line
// cut to the clip's columns, a lone pixel (or the last column) a pixel inside the clip; rows
// outside the clip and transparent background draw nothing.
std::vector<RecordingDisplay::Call> RunByRunCalls(const DrawContext& context, const char* text,
                                                  int32_t x, int32_t y, bool opaque) {
    std::vector<RecordingDisplay::Call> calls;
    const Rect& c = context.clip;
    const FontRecord* font = context.font;
    for (; *text != '\0' && x <= c.xmax && c.xmin <= c.xmax && c.ymin <= c.ymax; ++text) {
        const uint8_t* glyph = font->data + font->offset[*text - 32];
        const int32_t width = glyph[1];
        int32_t row = y;
        int32_t column = 0;
        for (uint32_t at = 2; x + width >= c.xmin && at < glyph[0] && row <= c.ymax;) {
            const uint32_t element = glyph[at];
            uint32_t runs[2] = {element >> 4, element & 15};
            if (glyph[at++] == 0) {
                const uint32_t count = glyph[at++];
                runs[0] = count & 0x80 ? 0 : count * 8;
                runs[1] = count & 0x80 ? (count & 0x7F) * 8 : 0;
            }
            for (int phase = 0; phase < 2; ++phase) {
                const uint32_t color = phase == 1 ? context.foreground : context.background;
                for (uint32_t left = runs[phase]; left > 0 && row <= c.ymax;) {
                    const bool drawn = (phase == 1 || opaque) && row >= c.ymin;
                    const int32_t at_x = x + column;
                    int32_t piece = 1;
                    if (left > 1 && column + 1 < width) {
                        piece = std::min<int32_t>(width - column, static_cast<int32_t>(left));
                        const int32_t x1 = std::max<int32_t>(at_x, c.xmin);
                        const int32_t x2 = std::min<int32_t>(at_x + piece - 1, c.xmax);
                        if (drawn && x1 <= x2) {
                            calls.push_back({Op::LineDrawH, x1, row, x2, row, 0, 0, 0, color});
                        }
                    } else if (drawn && at_x >= c.xmin && at_x <= c.xmax) {
                        calls.push_back({Op::PixelDraw, at_x, row, at_x, row, 0, 1, 0, color});
                    }
                    column += piece;
                    left -= static_cast<uint32_t>(piece);
                    if (column == width) {
                        column = 0;
                        ++row;
                    }
                }
            }
        }
        x += width;
    }
    return calls;
}

TEST(StringDraw, TheDriverGetsTheCallsOfTheRunByRunRule) {
    std::mt19937 random(5);
    const FontRecord* fonts[] = {&g_sFontCm12, &g_sFontCm14, &g_sFontCm14b};
    for (int trial = 0; trial < 400; ++trial) {
        // Every fourth trial a font of random records: narrow and wide cells, long escaped
        // runs, code that ends short of its cell or runs on past it.
        std::vector<std::vector<uint8_t>> glyphs(7);
        for (auto& glyph : glyphs) {
            glyph = {0, static_cast<uint8_t>(random() % 13)};
            for (size_t n = random() % 40; n > 0; --n) {
                if (random() % 8 == 0) {
                    glyph.insert(glyph.end(), {0, static_cast<uint8_t>(random() & 0x87)});
                } else {
                    glyph.push_back(static_cast<uint8_t>(1 + random() % 255));
                }
            }
            glyph[0] = static_cast<uint8_t>(glyph.size());
        }
        const TestFont randomFont(1, 14, glyphs);
        Text t(trial % 4 == 3 ? &randomFont.record : fonts[trial % 3]);
        // Clips inside, across and outside the text, some empty (corners reversed).
        const auto xmin = static_cast<int16_t>(random() % 90);
        const auto ymin = static_cast<int16_t>(random() % 30);
        t.clip(xmin, ymin, static_cast<int16_t>(xmin + static_cast<int>(random() % 120) - 10),
               static_cast<int16_t>(ymin + static_cast<int>(random() % 24) - 4));
        // The random records are drawn about the clip's top left corner, where they show.
        const int32_t x = trial % 4 == 3 ? xmin - 6 + static_cast<int32_t>(random() % 12)
                                         : static_cast<int32_t>(random() % 100) - 20;
        const int32_t y = trial % 4 == 3 ? ymin - 2 + static_cast<int32_t>(random() % 6)
                                         : static_cast<int32_t>(random() % 40) - 12;
        const bool opaque = random() % 2 == 0;
        const char* text = trial % 2 == 0 ? "Wej|cie 1: {ok} _gqy~" : "-123 ## 9.5%";
        GrStringDraw(&t.context, text, -1, x, y, opaque ? 1 : 0);
        const auto expected = RunByRunCalls(t.context, text, x, y, opaque);
        const auto& calls = t.display.calls();
        ASSERT_EQ(calls.size(), expected.size()) << "trial " << trial;
        for (size_t i = 0; i < calls.size(); ++i) {
            const auto& a = calls[i];
            const auto& e = expected[i];
            ASSERT_TRUE(a.op == e.op && a.x == e.x && a.y == e.y && a.x2 == e.x2 &&
                        a.color == e.color)
                << "trial " << trial << ", call " << i;
        }
    }
}

TEST(StringDraw, GlyphsOutsideTheClipAreNotDecoded) {
    // Each glyph of 4 x 2 in its own record; the code of 'B' (left of the clip) and every
    // record of 'Z' (right of it) are made unreadable where the sanitizer runs.
    TestFont font(1, 2, {{0x03, 0x04, 0x08}});
    font.set('B', {0x03, 0x04, 0x08});
    font.set('Z', {0x03, 0x04, 0x08});
    font.set('M', {0x03, 0x04, 0x08});
    uint8_t* b = font.data.data() + font.record.offset['B' - 32];
    uint8_t* z = font.data.data() + font.record.offset['Z' - 32];
    Text t(&font.record);
    t.clip(8, 0, 13, 1);
    POISON(b + 2, 6);
    POISON(z, 8);
    // B at 0..3 is skipped (0 + 4 < 8), A at 4..7 is decoded but cut, M at 8..11 is drawn,
    // A at 12..15 is cut, Z at 16 is beyond the clip: drawing stops.
    GrStringDraw(&t.context, "BAMAZZ", -1, 0, 0, 0);
    UNPOISON(b + 2, 6);
    UNPOISON(z, 8);
    for (int x = 0; x < 20; ++x) {
        EXPECT_EQ(t.display.at(x, 0), x >= 8 && x <= 13 ? kInk : kOld) << x;
    }
}

TEST(StringDraw, RowsAboveAndBelowTheClipAreLeftOut) {
    Text full(&g_sFontCm14b);
    Text cut(&g_sFontCm14b);
    cut.clip(0, 24, 319, 30);
    GrStringDraw(&full.context, "Hg", -1, 0, 20, 1);
    GrStringDraw(&cut.context, "Hg", -1, 0, 20, 1);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 30; ++x) {
            EXPECT_EQ(cut.display.at(x, y), y >= 24 && y <= 30 ? full.display.at(x, y) : kOld);
        }
    }
}

// The generated fonts: header values and widths as the screens' layout needs them, every cell
// coded in full, capitals on the baseline, '|' a dash, the bold face heavier.
struct FontShape {
    const FontRecord* font;
    uint8_t maxWidth;
    uint8_t height;
    uint8_t baseline;
    std::array<uint8_t, 95> widths;
};

const FontShape kShapes[] = {
    {&g_sFontCm12, 10, 13, 10, {5,  2,  5, 9, 6, 10, 10, 3,  4, 4, 3, 8, 3,  4, 2, 5, 6,  4,  6,
                                5,  6,  6, 6, 5, 5,  6,  2,  2, 2, 8, 6, 6,  9, 9, 8, 9,  9,  9,
                                9,  9,  9, 4, 5, 9,  7,  10, 8, 9, 8, 9, 10, 7, 9, 9, 9,  12, 9,
                                10, 7,  3, 5, 3, 4,  2,  3,  7, 7, 5, 7, 6,  5, 7, 7, 3,  3,  7,
                                4,  10, 7, 6, 7, 7,  5,  5,  6, 7, 6, 8, 7,  7, 5, 7, 12, 4,  5}},
    {&g_sFontCm14, 12, 14, 11, {6,  2,  5,  10, 7,  12, 11, 3,  4,  4,  6, 10, 3,  4,  2,  6,
                                7,  6,  7,  6,  7,  7,  7,  7,  7,  7,  2, 2,  2,  10, 5,  5,
                                10, 10, 8,  9,  9,  10, 8,  10, 9,  4,  6, 10, 8,  11, 10, 9,
                                8,  9,  10, 8,  10, 10, 10, 14, 10, 10, 8, 3,  6,  3,  4,  2,
                                3,  8,  8,  6,  8,  6,  5,  7,  8,  4,  4, 7,  4,  11, 8,  7,
                                8,  8,  6,  6,  6,  8,  7,  10, 8,  7,  6, 7,  14, 5,  5}},
    {&g_sFontCm14b, 13, 14, 11, {6,  3,  6,  11, 6, 11, 10, 3,  4,  4,  6, 10, 3,  5,  3,  6,
                                 6,  6,  5,  5,  6, 5,  5,  6,  6,  5,  3, 3,  3,  10, 5,  5,
                                 10, 11, 8,  8,  9, 8,  8,  9,  9,  4,  7, 9,  7,  12, 10, 8,
                                 8,  9,  10, 7,  8, 10, 11, 15, 11, 10, 8, 3,  7,  3,  5,  3,
                                 3,  7,  7,  5,  7, 7,  6,  7,  8,  4,  5, 7,  4,  12, 8,  7,
                                 7,  7,  6,  6,  6, 8,  8,  11, 8,  7,  6, 8,  15, 4,  6}},
};

// Decodes a glyph with the firmware onto a fresh display; returns its cell (true = ink).
std::vector<std::vector<bool>> Cell(const FontRecord* font, char code) {
    Text t(font);
    const char text[] = {code, 0};
    GrStringDraw(&t.context, text, -1, 0, 0, 1);
    const int width = GrStringWidthGet(&t.context, text, -1);
    std::vector<std::vector<bool>> cell(font->height, std::vector<bool>(width));
    for (int y = 0; y < font->height; ++y) {
        for (int x = 0; x < width; ++x) {
            EXPECT_NE(t.display.at(x, y), kOld) << "uncoded pixel in '" << code << "'";
            cell[y][x] = t.display.at(x, y) == kInk;
        }
    }
    EXPECT_EQ(t.display.at(0, font->height), kOld) << "'" << code << "' runs past its cell";
    return cell;
}

TEST(Fonts, HeadersAndWidthsAreTheLayoutsOwn) {
    for (const FontShape& shape : kShapes) {
        EXPECT_EQ(shape.font->format, 1);
        EXPECT_EQ(shape.font->maxWidth, shape.maxWidth);
        EXPECT_EQ(shape.font->height, shape.height);
        EXPECT_EQ(shape.font->baseline, shape.baseline);
        EXPECT_EQ(shape.font->offset[95], 0);
        for (int code = 32; code <= 126; ++code) {
            const uint8_t* glyph = shape.font->data + shape.font->offset[code - 32];
            EXPECT_EQ(glyph[1], shape.widths[code - 32]) << "code " << code;
            if (code < 126) {
                EXPECT_EQ(shape.font->offset[code - 31], shape.font->offset[code - 32] + glyph[0]);
            }
        }
    }
}

TEST(Fonts, GlyphsSitOnTheBaselineAndTheBarIsADash) {
    for (const FontShape& shape : kShapes) {
        for (char code : {'A', 'E', 'H', 'M', 'Z', 'x', 'o', '1'}) {
            const auto cell = Cell(shape.font, code);
            bool onBaseline = false;
            for (bool pixel : cell[shape.baseline - 1]) {
                onBaseline = onBaseline || pixel;
            }
            EXPECT_TRUE(onBaseline) << "'" << code << "' does not reach the baseline";
            for (int row = shape.baseline; row < shape.height; ++row) {
                for (bool pixel : cell[row]) {
                    EXPECT_FALSE(pixel) << "'" << code << "' hangs below the baseline";
                }
            }
        }
        bool descends = false;
        const auto p = Cell(shape.font, 'p');
        for (bool pixel : p[shape.baseline + 1]) {
            descends = descends || pixel;
        }
        EXPECT_TRUE(descends) << "'p' has no descender";

        const auto bar = Cell(shape.font, '|');
        int inkRows = 0;
        for (const auto& row : bar) {
            int ink = 0;
            for (bool pixel : row) {
                ink += pixel ? 1 : 0;
            }
            if (ink > 0) {
                ++inkRows;
                EXPECT_GE(ink, static_cast<int>(row.size()) - 2) << "'|' is not a wide dash";
            }
        }
        EXPECT_GE(inkRows, 1);
        EXPECT_LE(inkRows, 2);
    }
}

TEST(Fonts, BoldFaceCarriesMoreInk) {
    auto inkOf = [](const FontRecord* font) {
        size_t ink = 0;
        for (char code = 'A'; code <= 'z'; ++code) {
            for (const auto& row : Cell(font, code)) {
                for (bool pixel : row) {
                    ink += pixel ? 1 : 0;
                }
            }
        }
        return ink;
    };
    EXPECT_GT(inkOf(&g_sFontCm14b), inkOf(&g_sFontCm14) * 5 / 4);
}

// What tells a round letter from another: the columns its ink spans, the paper inside its bowl
// (the gap between the two strokes of a row) on its first row, widest and last, and whether its
// top and bottom rows reach its sides.
struct Bowl {
    int left = 1 << 20;
    int right = -1;
    int firstCounter = -1;
    int widestCounter = 0;
    int lastCounter = -1;
    bool squareCorners = false;  // the first and last ink rows start at the left side
    bool straightLeft = true;    // every ink row starts at the left side
};

Bowl BowlOf(const std::vector<std::vector<bool>>& cell) {
    Bowl bowl;
    std::vector<std::pair<int, int>> rows;  // first and last ink column of each ink row
    std::vector<int> counters;
    for (const auto& row : cell) {
        int first = -1, last = -1, runs = 0;
        for (int x = 0; x < static_cast<int>(row.size()); ++x) {
            if (row[x]) {
                runs += first < 0 || !row[x - 1] ? 1 : 0;
                first = first < 0 ? x : first;
                last = x;
            }
        }
        if (first < 0) {
            continue;
        }
        rows.push_back({first, last});
        bowl.left = std::min(bowl.left, first);
        bowl.right = std::max(bowl.right, last);
        if (runs == 2) {
            int inner = first;
            while (row[inner + 1]) {
                ++inner;
            }
            int innerRight = last;
            while (row[innerRight - 1]) {
                --innerRight;
            }
            counters.push_back(innerRight - inner - 1);
        }
    }
    if (!counters.empty()) {
        bowl.firstCounter = counters.front();
        bowl.lastCounter = counters.back();
        bowl.widestCounter = *std::max_element(counters.begin(), counters.end());
    }
    for (const auto& [first, last] : rows) {
        bowl.straightLeft = bowl.straightLeft && first == bowl.left;
    }
    bowl.squareCorners = rows.front().first == bowl.left && rows.back().first == bowl.left;
    return bowl;
}

// "DIODY" must not read "DI0DY": in every font the capital O is as wide as its cell allows, wider
// than the zero and about as wide as the D, and round: its bowl is not pointed at the top and
// bottom as an oval zero's is, its corners are cut; the D stands on a straight, square stem.
TEST(Fonts, OZeroAndDAreToldApart) {
    for (const FontShape& shape : kShapes) {
        const auto oCell = Cell(shape.font, 'O');
        const Bowl o = BowlOf(oCell);
        const Bowl zero = BowlOf(Cell(shape.font, '0'));
        const Bowl d = BowlOf(Cell(shape.font, 'D'));
        const int oWidth = o.right - o.left + 1;
        const std::string font = "font of height " + std::to_string(shape.height) +
                                 (shape.font == &g_sFontCm14b ? " (bold)" : "");
        EXPECT_GE(oWidth, static_cast<int>(oCell[0].size()) - 1) << font << ": O narrower than its cell";
        EXPECT_GE(oWidth, zero.right - zero.left + 1 + 2) << font << ": O hardly wider than 0";
        EXPECT_GE(oWidth, d.right - d.left + 1 - 1) << font << ": O narrower than D";
        EXPECT_GE(o.widestCounter, 3) << font;
        EXPECT_GE(o.firstCounter * 10, o.widestCounter * 6) << font << ": O's bowl pointed at the top";
        EXPECT_GE(o.lastCounter * 10, o.widestCounter * 6) << font << ": O's bowl pointed below";
        EXPECT_FALSE(o.squareCorners) << font << ": O has square corners";
        EXPECT_TRUE(d.straightLeft && d.squareCorners) << font << ": D's stem is not straight";
        EXPECT_FALSE(zero.straightLeft) << font << ": 0 has a straight side like D";
    }
}

// Blank columns between the ink of a and the ink of b drawn next to it.
int Gap(const FontRecord* font, char a, char b) {
    auto inkColumns = [font](char code, bool last) {
        const auto cell = Cell(font, code);
        const int width = static_cast<int>(cell[0].size());
        for (int i = 0; i < width; ++i) {
            const int x = last ? width - 1 - i : i;
            for (const auto& row : cell) {
                if (row[x]) {
                    return i;  // blank columns before the ink, from that side
                }
            }
        }
        return width;
    };
    return inkColumns(a, true) + inkColumns(b, false);
}

// Every text the panel shows, in its font: one or two blank columns between any two letters, so
// that no word falls apart and no letters run together.
TEST(Fonts, EveryPanelTextHasOneOrTwoBlankColumnsBetweenLetters) {
    struct Shown {
        const FontRecord* font;
        const char* text;
    };
    std::vector<Shown> texts = {
        {&g_sFontCm14, "Witamy w aplikacji demonstracyjnej"},
        {&g_sFontCm12, "Varo 7150K"},
        {&g_sFontCm14b, "DIODY"},
        {&g_sFontCm14b, "WEJSCIA"},
        {&g_sFontCm14b, "WYJSCIA"},
        {&g_sFontCm14b, "SMS/MAIL"},
        {&g_sFontCm14, "STATUS LED"},
        {&g_sFontCm14, "GPRS LED"},
        {&g_sFontCm14, "USER LED"},
        {&g_sFontCm14, "DI1 DI2 DI3 DI4 DI5 DI6 DI7 AI1 AI2 AI3 AIV"},
        // The value labels: any two digits, a sign, the overflow mark.
        {&g_sFontCm14, "0011223344556677889902468013579-1-2-3-4-5-6-7-8-9##"},
        {&g_sFontCm14, "0918273645546372819009"},
    };
    for (const PushButtonRecord* button :
         {&TextPushButton71, &TextPushButton77, &TextPushButton79, &TextPushButton81,
          &TextPushButton83, &TextPushButton28, &TextPushButton30}) {
        texts.push_back({button->font, button->text});
    }
    for (const CheckBoxRecord* box :
         {&CheckBox16, &CheckBox21, &CheckBox46, &CheckBox155, &CheckBox178, &CheckBox183}) {
        texts.push_back({box->font, box->text});
    }
    for (const Shown& shown : texts) {
        const std::string text = shown.text;
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == ' ' || text[i + 1] == ' ') {
                continue;
            }
            const int gap = Gap(shown.font, text[i], text[i + 1]);
            EXPECT_TRUE(gap >= 1 && gap <= 2) << "\"" << text.substr(i, 2) << "\" in \"" << text
                                              << "\": " << gap << " blank columns";
        }
    }
}

}  // namespace
