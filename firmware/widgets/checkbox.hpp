// The check box class: a square with a cross beside a text or image, toggled by each press
// inside it. A hand-drawn box (CB_APP_DRAWN) leaves all drawing to its onChange procedure.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "graphics/string.hpp"
#include "widgets/widget.hpp"

constexpr uint16_t CB_OUTLINE = 0x01;
constexpr uint16_t CB_FILL = 0x02;
constexpr uint16_t CB_TEXT = 0x04;
constexpr uint16_t CB_IMAGE = 0x08;
constexpr uint16_t CB_TEXT_OPAQUE = 0x10;
constexpr uint16_t CB_SELECTED = 0x20;  // state: ticked
constexpr uint16_t CB_APP_DRAWN = 0x40;

// Marks an onChange call that asks a hand-drawn box to paint itself (with its CB_SELECTED bit).
constexpr uint32_t kCheckBoxPaintRequest = 0x40;

// state: the CB_SELECTED bit after a toggle, or that bit | kCheckBoxPaintRequest.
using CheckBoxChangeFn = void (*)(WidgetRecord* widget, uint32_t state);

struct CheckBoxRecord : WidgetRecord {
    uint16_t style;
    uint16_t boxSize;       // side of the check square
    uint32_t fillColor;     // background; also the colour of a cleared cross
    uint32_t outlineColor;  // outline and square; also the colour of a set cross
    uint32_t textColor;
    const FontRecord* font;
    const char* text;
    const uint8_t* image;
    CheckBoxChangeFn onChange;
    uint32_t reserved;
};
static_assert(!kPointers32 || sizeof(CheckBoxRecord) == 68);

// partial: 0 paints the whole widget, 1 only the cross.
void CheckBoxPaint(WidgetRecord* widget, uint32_t partial);
// Paints on MSG_PAINT; claims pointer messages inside the box and toggles on the press.
uint32_t CheckBoxMsgProc(WidgetRecord* widget, uint32_t message, uint32_t x, uint32_t y);
