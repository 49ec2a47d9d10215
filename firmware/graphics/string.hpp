// Proportional run-length fonts: measuring and drawing strings.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"

// The 200-byte font header (the glyph data lies elsewhere).
struct FontRecord {
    uint8_t format;    // 0: plain bit stream, otherwise run-length coded
    uint8_t maxWidth;  // informational only
    uint8_t height;    // rows per glyph cell
    uint8_t baseline;  // rows from the top of the cell down to the baseline
    uint16_t offset[96];  // glyph offsets into data for codes 32..127
    const uint8_t* data;
};
static_assert(!kPointers32 || sizeof(FontRecord) == 200);

int32_t GrStringWidthGet(const DrawContext* context, const char* text, int32_t length);
void GrStringDraw(const DrawContext* context, const char* text, int32_t length, int32_t x,
                  int32_t y, uint32_t opaque);

extern const FontRecord g_sFontCm12;
extern const FontRecord g_sFontCm14;
extern const FontRecord g_sFontCm14b;
