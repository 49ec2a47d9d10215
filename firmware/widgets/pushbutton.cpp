#include "widgets/pushbutton.hpp"

#include "graphics/image.hpp"
#include "widgets/class_paint.hpp"

namespace {

using namespace widget_paint;

bool Inside(const Rect& position, uint32_t x, uint32_t y) {
    // Coordinates travel as u32 but are screen points.
    const auto sx = static_cast<int32_t>(x);
    const auto sy = static_cast<int32_t>(y);
    return sx >= position.xmin && sx <= position.xmax && sy >= position.ymin && sy <= position.ymax;
}

void RectangularButtonPaint(PushButtonRecord* button) {
    const Rect& position = button->position;
    const uint32_t style = button->style;
    const bool pressed = (style & PB_PRESSED) != 0;
    const uint32_t fill = pressed ? button->pressedFillColor : button->fillColor;
    DrawContext context = Begin(button);

    if ((style & PB_FILL) != 0) {
        context.foreground = Native(context, fill);
        GrRectFill(&context, &position);
    }
    if ((style & PB_OUTLINE) != 0) {
        context.foreground = Native(context, button->outlineColor);
        GrRectDraw(&context, &position);
    }
    if ((style & (PB_TEXT | PB_IMAGE)) == 0) {
        return;
    }
    if ((style & PB_OUTLINE) != 0) {
        ShrinkClip(context);
    }
    if ((style & PB_IMAGE) != 0) {
        context.foreground = Native(context, button->textColor);
        context.background = Native(context, fill);
        const uint8_t* image =
            pressed && button->pressedImage != nullptr ? button->pressedImage : button->image;
        GrImageDraw(&context, image, CentreX(position) - ImageWidth(image) / 2,
                    CentreY(position) - ImageHeight(image) / 2);
    }
    if ((style & PB_TEXT) != 0) {
        context.font = button->font;
        context.foreground = Native(context, button->textColor);
        context.background = Native(context, fill);
        const int32_t width = GrStringWidthGet(&context, button->text, -1);
        // Centred on the baseline, not on the cell height.
        GrStringDraw(&context, button->text, -1, CentreX(position) - width / 2,
                     CentreY(position) - button->font->baseline / 2, style & PB_TEXT_OPAQUE);
    }
}

// A state change shows only where the look depends on it.
void Repaint(PushButtonRecord* button) {
    if ((button->style & PB_FILL) != 0 ||
        ((button->style & PB_IMAGE) != 0 && button->pressedImage != nullptr)) {
        RectangularButtonPaint(button);
    }
}

bool RepeatDue(const PushButtonRecord* button) {
    const uint32_t count = button->repeatCount;
    const uint32_t delay = button->repeatDelay;
    if (button->repeatRate == 0) {
        return count == delay;
    }
    return count >= delay && (count - delay) % button->repeatRate == 0;
}

}  // namespace

uint32_t RectangularButtonMsgProc(WidgetRecord* widget, uint32_t message, uint32_t x, uint32_t y) {
    auto* button = static_cast<PushButtonRecord*>(widget);
    switch (message) {
        case MSG_PAINT:
            RectangularButtonPaint(button);
            return 1;
        case MSG_POINTER_UP:
            // Reported wherever the touch ended; the handler may switch screens, which leaves
            // this (static) record detached but valid.
            button->style &= ~PB_PRESSED;
            Repaint(button);
            if (button->onRelease != nullptr) {
                button->onRelease(button);
            }
            return Inside(button->position, x, y) ? 1 : 0;
        case MSG_POINTER_DOWN:
        case MSG_POINTER_MOVE:
            // Dragged off, the button stays pressed until the pointer-up.
            if (!Inside(button->position, x, y)) {
                return 0;
            }
            if (message == MSG_POINTER_DOWN) {
                button->style |= PB_PRESSED;
                Repaint(button);
            }
            if (button->onClick == nullptr) {
                return 1;
            }
            if (message == MSG_POINTER_DOWN && (button->style & PB_NO_PRESS_CLICK) == 0) {
                button->onClick(button);
            }
            // The click handler may have changed the style.
            if ((button->style & PB_AUTO_REPEAT) != 0) {
                if (message == MSG_POINTER_DOWN) {
                    button->repeatCount = 0;
                } else {
                    ++button->repeatCount;
                    if (RepeatDue(button)) {
                        button->onClick(button);
                    }
                }
            }
            return 1;
        default:
            return WidgetDefaultMsgProc(widget, message, x, y);
    }
}
