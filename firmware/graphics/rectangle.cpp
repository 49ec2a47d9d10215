// Rectangles: clipped fills handed to the driver in one call, and outlines from clipped lines.
#include "graphics/context.hpp"

void (*GrRectFill)(const DrawContext* context, const Rect* rect) = _GrRectFill;

void _GrRectFill(const DrawContext* context, const Rect* rect) {
    Rect fill = *rect;
    if (fill.xmin > fill.xmax) {
        fill.xmin = rect->xmax;
        fill.xmax = rect->xmin;
    }
    if (fill.ymin > fill.ymax) {
        fill.ymin = rect->ymax;
        fill.ymax = rect->ymin;
    }
    const Rect& clip = context->clip;
    if (ClipEmpty(clip) || fill.xmin > clip.xmax || fill.xmax < clip.xmin || fill.ymin > clip.ymax ||
        fill.ymax < clip.ymin) {
        return;
    }
    if (fill.xmin < clip.xmin) {
        fill.xmin = clip.xmin;
    }
    if (fill.ymin < clip.ymin) {
        fill.ymin = clip.ymin;
    }
    if (fill.xmax > clip.xmax) {
        fill.xmax = clip.xmax;
    }
    if (fill.ymax > clip.ymax) {
        fill.ymax = clip.ymax;
    }
    const DisplayDriver* display = context->display;
    display->RectFill(display->displayData, &fill, context->foreground);
}

// Each border pixel once: top row, right column below it, bottom row leftwards, left column
// upwards. The corners are taken as they stand; the line primitives order their own ends.
void GrRectDraw(const DrawContext* context, const Rect* rect) {
    const int32_t xmin = rect->xmin;
    const int32_t ymin = rect->ymin;
    const int32_t xmax = rect->xmax;
    const int32_t ymax = rect->ymax;
    GrLineDrawH(context, xmin, xmax, ymin);
    if (ymin == ymax) {
        return;
    }
    GrLineDrawV(context, xmax, ymin + 1, ymax);
    if (xmin == xmax) {
        return;
    }
    GrLineDrawH(context, xmax - 1, xmin, ymax);
    if (ymin + 1 == ymax) {
        return;
    }
    GrLineDrawV(context, xmin, ymax - 1, ymin + 1);
}
