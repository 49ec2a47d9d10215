// The drawing wrappers that generated screen code calls (the CRC routine is in hmi_crc.cpp).
#include "graphics/hmi.hpp"

namespace {

// Screen code passes inclusive corners as 32-bit values; a Rect keeps their low 16 bits.
Rect CornersToRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return Rect{static_cast<int16_t>(x1), static_cast<int16_t>(y1), static_cast<int16_t>(x2),
                static_cast<int16_t>(y2)};
}

}  // namespace

void hmi_SetForeground(DrawContext* context, uint32_t rgb) {
    const DisplayDriver* display = context->display;
    context->foreground = display->ColorTranslate(display->displayData, rgb);
}

void hmi_FillRect(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const Rect rect = CornersToRect(x1, y1, x2, y2);
    GrRectFill(context, &rect);
}

void hmi_DrawRect(DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const Rect rect = CornersToRect(x1, y1, x2, y2);
    GrRectDraw(context, &rect);
}
