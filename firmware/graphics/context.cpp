// Drawing context set-up and the clip rectangle.
#include "graphics/context.hpp"

namespace {

int16_t ClampToRange(int16_t value, int32_t last) {
    if (value < 0) {
        return 0;
    }
    if (value > last) {
        return static_cast<int16_t>(last);
    }
    return value;
}

}  // namespace

void GrContextInit(DrawContext* context, const DisplayDriver* display) {
    context->size = sizeof(DrawContext);
    context->display = display;
    context->clip.xmin = 0;
    context->clip.ymin = 0;
    context->clip.xmax = static_cast<int16_t>(display->width - 1);
    context->clip.ymax = static_cast<int16_t>(display->height - 1);
    // Raw zero, not a translated black: callers set the colours they draw with.
    context->foreground = 0;
    context->background = 0;
    context->font = nullptr;
}

// Each coordinate is clamped into the display on its own; the rectangle is neither intersected
// with the previous clip nor reordered (callers pass widget positions, which are ordered).
void GrContextClipRegionSet(DrawContext* context, const Rect* rect) {
    const int32_t lastColumn = context->display->width - 1;
    const int32_t lastRow = context->display->height - 1;
    context->clip.xmin = ClampToRange(rect->xmin, lastColumn);
    context->clip.ymin = ClampToRange(rect->ymin, lastRow);
    context->clip.xmax = ClampToRange(rect->xmax, lastColumn);
    context->clip.ymax = ClampToRange(rect->ymax, lastRow);
}
