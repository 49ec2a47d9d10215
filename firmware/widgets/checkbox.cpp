#include "widgets/checkbox.hpp"

#include "graphics/image.hpp"
#include "widgets/class_paint.hpp"

namespace {

using namespace widget_paint;

bool Inside(const Rect& position, int32_t x, int32_t y) {
    return x >= position.xmin && x <= position.xmax && y >= position.ymin && y <= position.ymax;
}

// Top of content of height h centred in the clip rows, or the top row when it does not fit.
int32_t CentredTop(const Rect& clip, int32_t h) {
    const int32_t room = clip.ymax - clip.ymin;
    return h > room ? clip.ymin : clip.ymin + (room + 1 - h) / 2;
}

}  // namespace

void CheckBoxPaint(WidgetRecord* widget, uint32_t partial) {
    auto* box = static_cast<CheckBoxRecord*>(widget);
    const uint16_t style = box->style;
    if ((style & CB_APP_DRAWN) != 0) {
        if (box->onChange != nullptr) {
            box->onChange(box, (style & CB_SELECTED) | kCheckBoxPaintRequest);
        }
        return;
    }

    const Rect& position = box->position;
    const bool whole = partial == 0;
    DrawContext context = Begin(box);
    if (whole && (style & CB_FILL) != 0) {
        context.foreground = Native(context, box->fillColor);
        GrRectFill(&context, &position);
    }
    if (whole && (style & CB_OUTLINE) != 0) {
        context.foreground = Native(context, box->outlineColor);
        GrRectDraw(&context, &position);
    }

    // The square is computed in the record's 16-bit coordinates: a box size of 0 gives corners
    // in reverse order, which the line primitives draw as they stand.
    Rect square{};
    square.xmin = static_cast<int16_t>(position.xmin + 2);
    square.ymin = static_cast<int16_t>(position.ymin +
                                       (position.ymax - position.ymin - box->boxSize + 1) / 2);
    square.xmax = static_cast<int16_t>(square.xmin + box->boxSize - 1);
    square.ymax = static_cast<int16_t>(square.ymin + box->boxSize - 1);
    if (whole) {
        context.foreground = Native(context, box->outlineColor);
        GrRectDraw(&context, &square);
    }

    // Clearing paints the cross over in the fill colour.
    context.foreground =
        Native(context, (style & CB_SELECTED) != 0 ? box->outlineColor : box->fillColor);
    GrLineDraw(&context, square.xmin + 1, square.ymin + 1, square.xmax - 1, square.ymax - 1);
    GrLineDraw(&context, square.xmin + 1, square.ymax - 1, square.xmax - 1, square.ymin + 1);

    if (!whole || (style & (CB_TEXT | CB_IMAGE)) == 0) {
        return;
    }
    context.clip.xmin = static_cast<int16_t>(context.clip.xmin + box->boxSize + 4);
    if ((style & CB_OUTLINE) != 0) {
        context.clip.ymin = static_cast<int16_t>(context.clip.ymin + 1);
        context.clip.xmax = static_cast<int16_t>(context.clip.xmax - 1);
        context.clip.ymax = static_cast<int16_t>(context.clip.ymax - 1);
    }
    if ((style & CB_IMAGE) != 0) {
        context.foreground = Native(context, box->textColor);
        context.background = Native(context, box->fillColor);
        GrImageDraw(&context, box->image, context.clip.xmin,
                    CentredTop(context.clip, ImageHeight(box->image)));
    }
    if ((style & CB_TEXT) != 0) {
        context.font = box->font;
        context.foreground = Native(context, box->textColor);
        context.background = Native(context, box->fillColor);
        GrStringDraw(&context, box->text, -1, context.clip.xmin,
                     CentredTop(context.clip, box->font->height), style & CB_TEXT_OPAQUE);
    }
}

uint32_t CheckBoxMsgProc(WidgetRecord* widget, uint32_t message, uint32_t x, uint32_t y) {
    auto* box = static_cast<CheckBoxRecord*>(widget);
    switch (message) {
        case MSG_PAINT:
            CheckBoxPaint(box, 0);
            return 1;
        case MSG_POINTER_DOWN:
        case MSG_POINTER_MOVE:
        case MSG_POINTER_UP:
            // Coordinates travel as u32 but are screen points.
            if (!Inside(box->position, static_cast<int32_t>(x), static_cast<int32_t>(y))) {
                return 0;
            }
            if (message == MSG_POINTER_DOWN) {
                box->style = static_cast<uint16_t>(box->style ^ CB_SELECTED);
                CheckBoxPaint(box, 1);
                if (box->onChange != nullptr) {
                    box->onChange(box, box->style & CB_SELECTED);
                }
            }
            return 1;
        default:
            return WidgetDefaultMsgProc(widget, message, x, y);
    }
}
