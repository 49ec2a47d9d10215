// The canvas class: a filled, outlined area with optional text and image, and a hook for
// application drawing. Screens use it for their backgrounds and for value labels.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "graphics/string.hpp"
#include "widgets/widget.hpp"

constexpr uint32_t CANVAS_OUTLINE = 0x001;
constexpr uint32_t CANVAS_FILL = 0x002;
constexpr uint32_t CANVAS_TEXT = 0x004;
constexpr uint32_t CANVAS_IMAGE = 0x008;
constexpr uint32_t CANVAS_APP_DRAWN = 0x010;
constexpr uint32_t CANVAS_TEXT_OPAQUE = 0x020;
constexpr uint32_t CANVAS_TEXT_LEFT = 0x040;
constexpr uint32_t CANVAS_TEXT_RIGHT = 0x080;  // ignored with CANVAS_TEXT_LEFT
constexpr uint32_t CANVAS_TEXT_TOP = 0x100;
constexpr uint32_t CANVAS_TEXT_BOTTOM = 0x200;  // ignored with CANVAS_TEXT_TOP

using CanvasPaintFn = void (*)(WidgetRecord* widget, DrawContext* context);

struct CanvasRecord : WidgetRecord {
    uint32_t style;
    uint32_t fillColor;  // also the background of opaque text and of 1-bit images
    uint32_t outlineColor;
    uint32_t textColor;  // also the foreground of 1-bit images
    const FontRecord* font;
    const char* text;
    const uint8_t* image;
    CanvasPaintFn paintCallback;  // called after the class's own drawing (CANVAS_APP_DRAWN)
};
static_assert(!kPointers32 || sizeof(CanvasRecord) == 64);

// Paints on MSG_PAINT (result 1); never claims a touch.
uint32_t CanvasMsgProc(WidgetRecord* widget, uint32_t message, uint32_t param1, uint32_t param2);
