// The rectangular push button class: a filled, outlined rectangle with a centred caption or
// image, pressed from a claimed pointer-down until the pointer-up. Clicks are reported on the
// press (and repeated while held, counted in pointer moves), the release separately.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "graphics/string.hpp"
#include "widgets/widget.hpp"

constexpr uint32_t PB_OUTLINE = 0x01;
constexpr uint32_t PB_FILL = 0x02;
constexpr uint32_t PB_TEXT = 0x04;
constexpr uint32_t PB_IMAGE = 0x08;
constexpr uint32_t PB_TEXT_OPAQUE = 0x10;
constexpr uint32_t PB_AUTO_REPEAT = 0x20;
constexpr uint32_t PB_PRESSED = 0x40;  // state: pressed
constexpr uint32_t PB_NO_PRESS_CLICK = 0x80;

using PushButtonFn = void (*)(WidgetRecord* widget);

struct PushButtonRecord : WidgetRecord {
    uint32_t style;
    uint32_t fillColor;
    uint32_t pressedFillColor;
    uint32_t outlineColor;
    uint32_t textColor;
    const FontRecord* font;
    const char* text;
    const uint8_t* image;
    const uint8_t* pressedImage;  // null: image also while pressed
    uint16_t repeatDelay;         // moves after the press before the first repeated click
    uint16_t repeatRate;          // moves between repeated clicks
    uint32_t repeatCount;         // moves since the press
    PushButtonFn onClick;
    PushButtonFn onRelease;
    uint32_t reserved;
};
static_assert(!kPointers32 || sizeof(PushButtonRecord) == 88);

uint32_t RectangularButtonMsgProc(WidgetRecord* widget, uint32_t message, uint32_t x, uint32_t y);
