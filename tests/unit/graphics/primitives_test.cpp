// Context set-up, clipping, lines and rectangles, through the recording display.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>
#include <random>
#include <set>
#include <tuple>
#include <utility>

#include "graphics/context.hpp"
#include "graphics/hmi.hpp"
#include "graphics/image.hpp"
#include "support/recording_display.hpp"

namespace {

using testsupport::RecordingDisplay;
using Op = RecordingDisplay::Op;

constexpr uint32_t kInk = 0x01123456;

struct Drawing {
    RecordingDisplay display;
    DrawContext context{};

    explicit Drawing(uint16_t width = 320, uint16_t height = 240) : display(width, height) {
        GrContextInit(&context, display.driver());
        context.foreground = kInk;
    }
    void clip(int16_t xmin, int16_t ymin, int16_t xmax, int16_t ymax) {
        const Rect rect{xmin, ymin, xmax, ymax};
        GrContextClipRegionSet(&context, &rect);
        display.expectWithin(context.clip);
    }
    std::set<std::pair<int, int>> inked() const {
        std::set<std::pair<int, int>> points;
        for (int y = 0; y < display.height(); ++y) {
            for (int x = 0; x < display.width(); ++x) {
                if (display.at(x, y) == kInk) {
                    points.insert({x, y});
                }
            }
        }
        return points;
    }
};

void ExpectClip(const Rect& clip, int xmin, int ymin, int xmax, int ymax) {
    EXPECT_EQ(clip.xmin, xmin);
    EXPECT_EQ(clip.ymin, ymin);
    EXPECT_EQ(clip.xmax, xmax);
    EXPECT_EQ(clip.ymax, ymax);
}

TEST(DrawContext, InitCoversTheDisplayWithRawColours) {
    RecordingDisplay landscape(320, 240);
    RecordingDisplay portrait(240, 320);
    DrawContext context;
    context.foreground = context.background = 77;
    GrContextInit(&context, landscape.driver());
    EXPECT_EQ(context.size, sizeof(DrawContext));
    EXPECT_EQ(context.display, landscape.driver());
    ExpectClip(context.clip, 0, 0, 319, 239);
    EXPECT_EQ(context.foreground, 0u);
    EXPECT_EQ(context.background, 0u);
    EXPECT_EQ(context.font, nullptr);
    GrContextInit(&context, portrait.driver());
    ExpectClip(context.clip, 0, 0, 239, 319);
}

TEST(DrawContext, ClipCoordinatesAreClampedOneByOne) {
    Drawing d;
    d.clip(-5, 10, 400, 300);
    ExpectClip(d.context.clip, 0, 10, 319, 239);
    // Not intersected with the previous clip, and reversed corners stay reversed.
    d.clip(300, 250, -1, 5);
    ExpectClip(d.context.clip, 300, 239, 0, 5);
}

TEST(StraightLines, AreOrderedClippedAndHandedOverWhole) {
    Drawing d;
    GrLineDrawH(&d.context, 50, 10, 7);
    ASSERT_EQ(d.display.calls().size(), 1u);
    EXPECT_EQ(d.display.calls()[0].op, Op::LineDrawH);
    EXPECT_EQ(d.display.calls()[0].x, 10);
    EXPECT_EQ(d.display.calls()[0].x2, 50);
    EXPECT_EQ(d.display.calls()[0].color, kInk);

    d.display.clearCalls();
    d.clip(20, 0, 40, 239);
    GrLineDrawH(&d.context, 50, 10, 7);
    GrLineDrawV(&d.context, 30, 500, -20);
    ASSERT_EQ(d.display.calls().size(), 2u);
    EXPECT_EQ(d.display.calls()[0].x, 20);
    EXPECT_EQ(d.display.calls()[0].x2, 40);
    EXPECT_EQ(d.display.calls()[1].y, 0);
    EXPECT_EQ(d.display.calls()[1].y2, 239);

    d.display.clearCalls();
    d.clip(20, 10, 40, 20);
    GrLineDrawH(&d.context, 0, 100, 9);    // row above the clip
    GrLineDrawH(&d.context, 0, 19, 15);    // wholly left
    GrLineDrawH(&d.context, 41, 90, 15);   // wholly right
    GrLineDrawV(&d.context, 19, 0, 100);   // column left of the clip
    GrLineDrawV(&d.context, 30, 21, 100);  // wholly below
    EXPECT_TRUE(d.display.calls().empty());
}

TEST(GeneralLine, ShallowLinePlotsTheIntegerSteps) {
    Drawing d;
    GrLineDraw(&d.context, 0, 0, 4, 2);
    const std::set<std::pair<int, int>> expected{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}};
    EXPECT_EQ(d.inked(), expected);
    EXPECT_EQ(d.display.count(Op::PixelDraw), 5u);
    // Drawn backwards and steep (axes exchanged) it gives the mirrored pixels.
    Drawing back;
    GrLineDraw(&back.context, 2, 4, 0, 0);
    const std::set<std::pair<int, int>> steep{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}};
    EXPECT_EQ(back.inked(), steep);
}

TEST(GeneralLine, StraightCasesUseTheRunPrimitives) {
    Drawing d;
    GrLineDraw(&d.context, 5, 9, 5, 2);
    GrLineDraw(&d.context, 9, 3, 1, 3);
    ASSERT_EQ(d.display.calls().size(), 2u);
    EXPECT_EQ(d.display.calls()[0].op, Op::LineDrawV);
    EXPECT_EQ(d.display.calls()[1].op, Op::LineDrawH);
}

TEST(GeneralLine, IsCutAtTheClipKeepingTheInsideEndPoint) {
    Drawing d;
    d.clip(10, 10, 50, 40);
    GrLineDraw(&d.context, 0, 0, 9, 35);     // both ends left of the clip
    GrLineDraw(&d.context, 60, 0, 100, 70);  // both right
    EXPECT_TRUE(d.display.calls().empty());

    GrLineDraw(&d.context, 20, 20, 200, 100);
    const auto points = d.inked();
    ASSERT_FALSE(points.empty());
    EXPECT_TRUE(points.count({20, 20}));
    int rightmost = 0;
    for (const auto& [x, y] : points) {
        rightmost = std::max(rightmost, x);
    }
    EXPECT_EQ(rightmost, 50);  // reaches the right edge, where it crosses
}

TEST(GeneralLine, RandomLinesStayInsideTheClipAndKeepInsideEnds) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> coordinate(-400, 700);
    for (int trial = 0; trial < 300; ++trial) {
        Drawing d;
        const int16_t xmin = static_cast<int16_t>(random() % 200);
        const int16_t ymin = static_cast<int16_t>(random() % 150);
        d.clip(xmin, ymin, static_cast<int16_t>(xmin + random() % 120),
               static_cast<int16_t>(ymin + random() % 90));
        const int x1 = coordinate(random), y1 = coordinate(random);
        const int x2 = coordinate(random), y2 = coordinate(random);
        GrLineDraw(&d.context, x1, y1, x2, y2);  // the display fails the test on a stray pixel
        const Rect& c = d.context.clip;
        for (const auto& [x, y] : {std::pair{x1, y1}, std::pair{x2, y2}}) {
            if (x >= c.xmin && x <= c.xmax && y >= c.ymin && y <= c.ymax) {
                EXPECT_EQ(d.display.at(x, y), kInk) << "end point (" << x << ", " << y << ")";
            }
        }
    }
}

// End points anywhere in 32 bits: the clipped line stays inside the clip and within one pixel
// of the true line (checked in 128 bits), and lines that cross the clip draw there.
TEST(GeneralLine, ExtremeEndPointsClipWithoutOverflow) {
    constexpr int32_t kMin = INT32_MIN;
    constexpr int32_t kMax = INT32_MAX;
    struct Case {
        int32_t x1, y1, x2, y2;
        size_t pixels;  // 0: none, SIZE_MAX: some
    };
    const Case cases[] = {
        {kMin, kMin, kMax, kMax, 140},  // the diagonal through rows 100-239
        {kMax, kMax, kMin, kMin, 140},
        {kMin, kMax, kMax, kMin, 0},  // y = -x - 1 misses the clip
        {0, kMin, 319, kMax, SIZE_MAX},
        {kMin, 170, kMax, 171, SIZE_MAX},
        {kMax, 239, kMin, 100, SIZE_MAX},
        {-1, kMin, 1, kMax, SIZE_MAX},
    };
    for (const Case& c : cases) {
        Drawing d;
        d.clip(0, 100, 319, 239);
        GrLineDraw(&d.context, c.x1, c.y1, c.x2, c.y2);
        const auto points = d.inked();
        const __int128 dx = static_cast<__int128>(c.x2) - c.x1;
        const __int128 dy = static_cast<__int128>(c.y2) - c.y1;
        const __int128 major = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
        for (const auto& [x, y] : points) {
            __int128 cross = dx * (y - static_cast<__int128>(c.y1)) - dy * (x - static_cast<__int128>(c.x1));
            cross = cross < 0 ? -cross : cross;
            EXPECT_LE(cross, major) << "(" << x << ", " << y << ") is off the line " << c.x1 << ","
                                    << c.y1 << " - " << c.x2 << "," << c.y2;
        }
        if (c.pixels == SIZE_MAX) {
            EXPECT_GT(points.size(), 100u) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
        } else {
            EXPECT_EQ(points.size(), c.pixels) << c.x1 << "," << c.y1 << " - " << c.x2 << "," << c.y2;
        }
    }
}

// A clip with reversed corners holds no pixel: no primitive calls the driver at all.
TEST(EmptyClip, NothingReachesTheDriver) {
    const std::vector<uint8_t> picture = {0x08, 4, 0, 4, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0,
                                          0,    0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Rect clips[] = {{50, 10, 49, 100}, {10, 50, 100, 49}, {60, 60, 20, 20}};
    for (const Rect& clip : clips) {
        Drawing d;
        d.context.clip = clip;  // set directly: the setter keeps reversed corners too
        const Rect rect{0, 0, 319, 239};
        GrLineDrawH(&d.context, 0, 319, 55);
        GrLineDrawH(&d.context, 0, 319, 30);
        GrLineDrawV(&d.context, 55, 0, 239);
        GrLineDrawV(&d.context, 30, 0, 239);
        GrLineDraw(&d.context, 0, 0, 319, 239);
        GrLineDraw(&d.context, 0, 239, 319, 0);
        _GrRectFill(&d.context, &rect);
        GrRectDraw(&d.context, &rect);
        for (int y = 0; y < 120; y += 7) {
            _GrImageDraw(&d.context, picture.data(), 47, y);
        }
        EXPECT_TRUE(d.display.calls().empty())
            << d.display.calls().size() << " calls with clip " << clip.xmin << "," << clip.ymin
            << " - " << clip.xmax << "," << clip.ymax;
    }
}

TEST(RectFill, OrdersClipsAndLeavesTheCallersRect) {
    Drawing d;
    d.clip(10, 10, 100, 100);
    const Rect reversed{60, 80, 0, 20};
    GrRectFill(&d.context, &reversed);
    ASSERT_EQ(d.display.calls().size(), 1u);
    const auto& call = d.display.calls()[0];
    EXPECT_EQ(call.op, Op::RectFill);
    EXPECT_EQ(std::tuple(call.x, call.y, call.x2, call.y2), std::tuple(10, 20, 60, 80));
    EXPECT_EQ(reversed.xmin, 60);
    EXPECT_EQ(reversed.ymax, 20);
    const Rect outside{101, 0, 200, 50};
    GrRectFill(&d.context, &outside);
    EXPECT_EQ(d.display.calls().size(), 1u);
}

TEST(RectDraw, BorderPixelsOnceWithTheFewestCalls) {
    struct Case {
        Rect rect;
        size_t calls;
        size_t pixels;
    };
    const Case cases[] = {
        {{5, 5, 5, 5}, 1, 1},         // one pixel
        {{5, 5, 20, 5}, 1, 16},       // one row
        {{5, 5, 20, 6}, 3, 32},       // two rows: the left edge call is skipped
        {{5, 5, 5, 20}, 2, 16},       // one column
        {{5, 5, 20, 20}, 4, 4 * 15},  // the full outline
    };
    for (const Case& c : cases) {
        Drawing d;
        GrRectDraw(&d.context, &c.rect);
        EXPECT_EQ(d.display.calls().size(), c.calls);
        EXPECT_EQ(d.inked().size(), c.pixels);
        size_t drawn = 0;
        for (const auto& call : d.display.calls()) {
            drawn += static_cast<size_t>(call.count);
        }
        EXPECT_EQ(drawn, c.pixels) << "a border pixel was drawn twice";
    }
}

TEST(RectDraw, ReversedCornersMakeTheSameFourCallsAsTheyStand) {
    Drawing d;
    const Rect reversed{20, 20, 5, 5};
    GrRectDraw(&d.context, &reversed);
    const auto& calls = d.display.calls();
    ASSERT_EQ(calls.size(), 4u);
    const std::tuple<Op, int, int, int, int> expected[] = {
        {Op::LineDrawH, 5, 20, 20, 20},  // top: xmin..xmax at ymin
        {Op::LineDrawV, 5, 5, 5, 21},    // right: xmax from ymin + 1 to ymax
        {Op::LineDrawH, 4, 5, 20, 5},    // bottom: xmax - 1 to xmin at ymax
        {Op::LineDrawV, 20, 4, 20, 21},  // left: xmin from ymax - 1 to ymin + 1
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(std::tuple(calls[i].op, calls[i].x, calls[i].y, calls[i].x2, calls[i].y2),
                  expected[i])
            << "call " << i;
    }
}

TEST(HmiWrappers, TranslateColourAndFillInclusiveCorners) {
    Drawing d;
    hmi_SetForeground(&d.context, 0x1E5689);
    EXPECT_EQ(d.context.foreground, RecordingDisplay::Native(0x1E5689));
    hmi_FillRect(&d.context, 0, 0, 319, 239);
    EXPECT_EQ(d.display.touched(), 320u * 240u);

    Drawing outline;
    hmi_DrawRect(&outline.context, 10, 10, 12, 12);
    EXPECT_EQ(outline.inked().size(), 8u);
}

TEST(HmiWrappers, CornersAreCutTo16BitsAndFillGoesThroughTheVariable) {
    Drawing d;
    static const DrawContext* seen = nullptr;
    static Rect seenRect{};
    GrRectFill = [](const DrawContext* context, const Rect* rect) {
        seen = context;
        seenRect = *rect;
    };
    hmi_FillRect(&d.context, 65536 + 3, -65536 + 4, 0x7FFF0005, 6);
    GrRectFill = _GrRectFill;
    EXPECT_EQ(seen, &d.context);
    EXPECT_EQ(std::tuple(seenRect.xmin, seenRect.ymin, seenRect.xmax, seenRect.ymax),
              std::tuple(int16_t{3}, int16_t{4}, int16_t{5}, int16_t{6}));
    EXPECT_TRUE(d.display.calls().empty());
}

}  // namespace
