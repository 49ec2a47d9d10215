#include "widgets/canvas.hpp"

#include "graphics/image.hpp"
#include "widgets/class_paint.hpp"

namespace {

using namespace widget_paint;

void CanvasPaint(WidgetRecord* widget) {
    auto* canvas = static_cast<CanvasRecord*>(widget);
    const Rect& position = canvas->position;
    const uint32_t style = canvas->style;
    DrawContext context = Begin(canvas);

    if ((style & CANVAS_FILL) != 0) {
        context.foreground = Native(context, canvas->fillColor);
        GrRectFill(&context, &position);
    }
    if ((style & CANVAS_OUTLINE) != 0) {
        context.foreground = Native(context, canvas->outlineColor);
        GrRectDraw(&context, &position);
    }
    if ((style & (CANVAS_TEXT | CANVAS_IMAGE)) != 0) {
        if ((style & CANVAS_OUTLINE) != 0) {
            ShrinkClip(context);
        }
        if ((style & CANVAS_IMAGE) != 0) {
            context.foreground = Native(context, canvas->textColor);
            context.background = Native(context, canvas->fillColor);
            GrImageDraw(&context, canvas->image, CentreX(position) - ImageWidth(canvas->image) / 2,
                        CentreY(position) - ImageHeight(canvas->image) / 2);
        }
        if ((style & CANVAS_TEXT) != 0) {
            context.font = canvas->font;
            context.foreground = Native(context, canvas->textColor);
            context.background = Native(context, canvas->fillColor);
            const int32_t width = GrStringWidthGet(&context, canvas->text, -1);
            int32_t x = CentreX(position) - width / 2;
            if ((style & CANVAS_TEXT_LEFT) != 0) {
                x = context.clip.xmin;
            } else if ((style & CANVAS_TEXT_RIGHT) != 0) {
                x = context.clip.xmax - width;
            }
            const int32_t height = canvas->font->height;
            int32_t y = CentreY(position) - height / 2;
            if ((style & CANVAS_TEXT_TOP) != 0) {
                y = context.clip.ymin;
            } else if ((style & CANVAS_TEXT_BOTTOM) != 0) {
                y = context.clip.ymax - height;
            }
            GrStringDraw(&context, canvas->text, -1, x, y, style & CANVAS_TEXT_OPAQUE);
        }
    }
    if ((style & CANVAS_APP_DRAWN) != 0) {
        canvas->paintCallback(canvas, &context);
    }
}

}  // namespace

uint32_t CanvasMsgProc(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2) {
    if (message == MSG_PAINT) {
        CanvasPaint(widget);
        return 1;
    }
    return WidgetDefaultMsgProc(widget, message, param1, param2);
}
