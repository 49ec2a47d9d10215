// Palette and 16-bit pictures, plain and compressed, drawn clipped to the context.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"

// An image record is byte-packed data in program memory: format, u16 width, u16 height
// (little-endian, unaligned), then palette and pixel data.
using ImageDrawFn = void (*)(const DrawContext* context, const uint8_t* image, int32_t x, int32_t y);

void _GrImageDraw(const DrawContext* context, const uint8_t* image, int32_t x, int32_t y);

// Widgets draw images through GrImageDraw (initially _GrImageDraw); screen code through
// hmi_DrawImage, which display start-up fills from GrImageDraw.
extern ImageDrawFn GrImageDraw;
extern ImageDrawFn hmi_DrawImage;

// The decompressor's 32-byte history window.
extern uint8_t g_pucDictionary[32];
