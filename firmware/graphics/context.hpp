// Shared drawing types and the drawing context with its primitives: rectangles, the display
// driver's operation table, the context, clipping, lines and rectangles.
#pragma once

#include <cstdint>

// Inclusive rectangle: columns xmin..xmax, rows ymin..ymax.
struct Rect {
    int16_t xmin;
    int16_t ymin;
    int16_t xmax;
    int16_t ymax;
};

// A display's operations. Coordinates are always inside the display: the graphics library clips.
// Colours are driver-native values (see ColorTranslate).
struct DisplayDriver {
    uint32_t size;
    void* displayData;
    uint16_t width;
    uint16_t height;
    void (*PixelDraw)(void* displayData, int32_t x, int32_t y, uint32_t color);
    // count pixels of one row from (x, y); data points at the byte of the first pixel, x0 is its
    // bit or nibble position; palette: two native words (1 bpp) or 3-byte B,G,R entries (4, 8 bpp).
    void (*PixelDrawMultiple)(void* displayData, int32_t x, int32_t y, int32_t x0, int32_t count,
                              int32_t bpp, const uint8_t* data, const void* palette);
    void (*LineDrawH)(void* displayData, int32_t x1, int32_t x2, int32_t y, uint32_t color);
    void (*LineDrawV)(void* displayData, int32_t x, int32_t y1, int32_t y2, uint32_t color);
    void (*RectFill)(void* displayData, const Rect* rect, uint32_t color);
    uint32_t (*ColorTranslate)(void* displayData, uint32_t rgb);
    void (*Flush)(void* displayData);
};

struct FontRecord;

struct DrawContext {
    uint32_t size;
    const DisplayDriver* display;
    Rect clip;
    uint32_t foreground;  // driver-native
    uint32_t background;  // driver-native
    const FontRecord* font;
};

// Record layouts that the system fixes, checked where pointers are 32 bits (the target).
constexpr bool kPointers32 = sizeof(void*) == 4;
static_assert(sizeof(Rect) == 8);
static_assert(!kPointers32 || sizeof(DisplayDriver) == 40);
static_assert(!kPointers32 || sizeof(DrawContext) == 28);

// A clip with reversed corners contains no pixel: the primitives then draw nothing rather than
// hand a driver reversed ranges.
inline bool ClipEmpty(const Rect& clip) {
    return clip.xmin > clip.xmax || clip.ymin > clip.ymax;
}

void GrContextInit(DrawContext* context, const DisplayDriver* display);
void GrContextClipRegionSet(DrawContext* context, const Rect* rect);

void GrLineDrawH(const DrawContext* context, int32_t x1, int32_t x2, int32_t y);
void GrLineDrawV(const DrawContext* context, int32_t x, int32_t y1, int32_t y2);
void GrLineDraw(const DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

void _GrRectFill(const DrawContext* context, const Rect* rect);
void GrRectDraw(const DrawContext* context, const Rect* rect);

// Entry points held in variables (GrImageDraw and hmi_DrawImage: see graphics/image.hpp).
extern void (*GrRectFill)(const DrawContext* context, const Rect* rect);
