// The canvas class: fill, outline, the clip kept off the outline, text and image placement, the
// application's drawing hook.
#include "widgets/canvas.hpp"

#include <gtest/gtest.h>

#include "support/fresh_board.hpp"
#include "support/recording_display.hpp"
#include "support/widget_pictures.hpp"

namespace {

using testsupport::RecordingDisplay;

constexpr uint32_t kFill = 0x00FF00;
constexpr uint32_t kOutline = 0xFF0000;
constexpr uint32_t kText = 0x0000FF;

CanvasRecord MakeCanvas(const RecordingDisplay& display, Rect position, uint32_t style,
                        const char* text) {
    CanvasRecord canvas{};
    canvas.size = sizeof(CanvasRecord);
    canvas.display = display.driver();
    canvas.position = position;
    canvas.msgProc = CanvasMsgProc;
    canvas.style = style;
    canvas.fillColor = kFill;
    canvas.outlineColor = kOutline;
    canvas.textColor = kText;
    canvas.font = &g_sFontCm14;
    canvas.text = text;
    return canvas;
}

class Canvas : public ::testing::Test {
  protected:
    void SetUp() override { FreshBoard(); }
    RecordingDisplay display_;
};

TEST_F(Canvas, ValueLabelKeepsItsLeftAlignedOpaqueTextInsideTheOutline) {
    const Rect position{59, 61, 82, 81};
    CanvasRecord label = MakeCanvas(display_, position, 0x67, "0");
    display_.expectWithin(position);
    EXPECT_EQ(CanvasMsgProc(&label, MSG_PAINT, 0, 0), 1u);

    ASSERT_FALSE(display_.calls().empty());
    const auto& fill = display_.calls().front();
    EXPECT_EQ(fill.op, RecordingDisplay::Op::RectFill);
    EXPECT_EQ(fill.x, 59);
    EXPECT_EQ(fill.y, 61);
    EXPECT_EQ(fill.x2, 82);
    EXPECT_EQ(fill.y2, 81);
    EXPECT_EQ(fill.color, RecordingDisplay::Native(kFill));

    // The text: opaque, with its cell's top-left at (60, 64), cut by the clip (60, 62)-(81, 80).
    RecordingDisplay expected;
    for (int y = 61; y <= 81; ++y) {
        for (int x = 59; x <= 82; ++x) {
            const bool border = x == 59 || x == 82 || y == 61 || y == 81;
            expected.set(x, y, RecordingDisplay::Native(border ? kOutline : kFill));
        }
    }
    testsupport::ReferenceText(expected, {60, 62, 81, 80}, &g_sFontCm14, "0", 60, 64, kText, kFill,
                               1);
    EXPECT_EQ(testsupport::CountDifferences(display_, expected, {0, 0, 319, 239}), 0);
}

TEST_F(Canvas, CentredTextUsesTheWidgetsCentreAndTheFontHeight) {
    // (10, 20)-(109, 59): centre (60, 40); "AB" in the 14-pixel font is 20 wide.
    CanvasRecord canvas = MakeCanvas(display_, {10, 20, 109, 59}, CANVAS_TEXT, "AB");
    ASSERT_EQ(canvas.font->height, 14);
    CanvasMsgProc(&canvas, MSG_PAINT, 0, 0);
    RecordingDisplay expected;
    DrawContext context{};
    GrContextInit(&context, expected.driver());
    context.font = &g_sFontCm14;
    const int32_t width = GrStringWidthGet(&context, "AB", -1);
    testsupport::ReferenceText(expected, {10, 20, 109, 59}, &g_sFontCm14, "AB", 60 - width / 2,
                               40 - 7, kText, kFill, 0);
    EXPECT_EQ(testsupport::CountDifferences(display_, expected, {0, 0, 319, 239}), 0);
    EXPECT_EQ(display_.count(RecordingDisplay::Op::RectFill), 0u) << "no fill without the bit";
}

TEST_F(Canvas, RightAndBottomTextEndsOnePixelShortOfTheClipEdge) {
    // Outline shrinks the clip to (11, 11)-(108, 38); "AB" is 17 wide and 13 high in the
    // 12-pixel font, so its cell covers columns 91..107 and rows 25..37.
    CanvasRecord canvas = MakeCanvas(
        display_, {10, 10, 109, 39},
        CANVAS_OUTLINE | CANVAS_TEXT | CANVAS_TEXT_OPAQUE | CANVAS_TEXT_RIGHT | CANVAS_TEXT_BOTTOM,
        "AB");
    canvas.font = &g_sFontCm12;
    CanvasMsgProc(&canvas, MSG_PAINT, 0, 0);

    const auto touchedColumn = [&](int x) {
        int n = 0;
        for (int y = 11; y <= 38; ++y) {
            n += display_.at(x, y) != RecordingDisplay::kUntouched ? 1 : 0;
        }
        return n;
    };
    const auto touchedRow = [&](int y) {
        int n = 0;
        for (int x = 11; x <= 108; ++x) {
            n += display_.at(x, y) != RecordingDisplay::kUntouched ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(touchedColumn(108), 0) << "the clip's last column stays free";
    EXPECT_GT(touchedColumn(107), 10) << "the text's last column";
    EXPECT_EQ(touchedColumn(90), 0);
    EXPECT_GT(touchedColumn(91), 10) << "the text's first column";
    EXPECT_EQ(touchedRow(38), 0) << "the clip's last row stays free";
    EXPECT_GT(touchedRow(37), 10);
    EXPECT_EQ(touchedRow(24), 0);
    EXPECT_GT(touchedRow(25), 10);
}

TEST_F(Canvas, LeftWinsOverRightAndTopOverBottom) {
    CanvasRecord canvas = MakeCanvas(display_, {10, 10, 109, 39},
                                     CANVAS_TEXT | CANVAS_TEXT_OPAQUE | CANVAS_TEXT_LEFT |
                                         CANVAS_TEXT_RIGHT | CANVAS_TEXT_TOP | CANVAS_TEXT_BOTTOM,
                                     "AB");
    CanvasMsgProc(&canvas, MSG_PAINT, 0, 0);
    RecordingDisplay expected;
    testsupport::ReferenceText(expected, {10, 10, 109, 39}, &g_sFontCm14, "AB", 10, 10, kText,
                               kFill, 1);
    EXPECT_EQ(testsupport::CountDifferences(display_, expected, {0, 0, 319, 239}), 0);
}

TEST_F(Canvas, ImageIsCentredWithHalvesRoundedDownAndTakesTheTextAndFillColours) {
    // 5 x 3, 1 bit a pixel: a frame of set bits around a clear middle row's centre.
    const uint8_t image[] = {0x01, 5, 0, 3, 0, 0xF8, 0xD8, 0xF8};
    CanvasRecord canvas = MakeCanvas(display_, {0, 0, 19, 9}, CANVAS_IMAGE, nullptr);
    canvas.image = image;
    CanvasMsgProc(&canvas, MSG_PAINT, 0, 0);
    // Centre (10, 5): the image's top-left at (10 - 2, 5 - 1).
    EXPECT_EQ(display_.at(8, 4), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.at(12, 6), RecordingDisplay::Native(kText));
    EXPECT_EQ(display_.at(10, 5), RecordingDisplay::Native(kFill)) << "0 bits: the fill colour";
    EXPECT_EQ(display_.at(7, 4), RecordingDisplay::kUntouched);
    EXPECT_EQ(display_.at(13, 6), RecordingDisplay::kUntouched);
    EXPECT_EQ(display_.at(8, 3), RecordingDisplay::kUntouched);
    EXPECT_EQ(display_.touched(), 15u);
}

struct PaintHook {
    static inline size_t callsBefore = 0;
    static inline Rect clip{};
    static inline int calls = 0;
    static inline RecordingDisplay* display = nullptr;
    static void Paint(WidgetRecord*, DrawContext* context) {
        ++calls;
        callsBefore = display->calls().size();
        clip = context->clip;
    }
};

TEST_F(Canvas, ApplicationDrawingComesLastWithTheClipTheCanvasUsed) {
    PaintHook::display = &display_;
    CanvasRecord canvas =
        MakeCanvas(display_, {-4, 5, 400, 60}, CANVAS_FILL | CANVAS_APP_DRAWN, nullptr);
    canvas.paintCallback = PaintHook::Paint;
    EXPECT_EQ(CanvasMsgProc(&canvas, MSG_PAINT, 0, 0), 1u);
    EXPECT_EQ(PaintHook::calls, 1);
    EXPECT_EQ(PaintHook::callsBefore, 1u) << "after the fill";
    EXPECT_EQ(PaintHook::clip.xmin, 0);
    EXPECT_EQ(PaintHook::clip.xmax, 319);
    EXPECT_EQ(PaintHook::clip.ymin, 5);
    EXPECT_EQ(PaintHook::clip.ymax, 60);

    canvas.style = CANVAS_OUTLINE | CANVAS_TEXT | CANVAS_APP_DRAWN;
    canvas.position = {10, 10, 50, 50};
    canvas.text = "";
    CanvasMsgProc(&canvas, MSG_PAINT, 0, 0);
    EXPECT_EQ(PaintHook::clip.xmin, 11) << "shrunk for the text";
    EXPECT_EQ(PaintHook::clip.ymax, 49);
}

TEST_F(Canvas, NeverClaimsATouch) {
    CanvasRecord canvas = MakeCanvas(display_, {0, 0, 319, 239}, CANVAS_FILL, nullptr);
    for (uint32_t message : {MSG_POINTER_DOWN, MSG_POINTER_MOVE, MSG_POINTER_UP, MSG_CHECK_IO}) {
        EXPECT_EQ(CanvasMsgProc(&canvas, message, 10, 10), 0u) << message;
    }
    EXPECT_TRUE(display_.calls().empty());
}

}  // namespace
