// Painting steps shared by the three widget classes: every paint starts from a fresh context
// clipped to the widget, translates each colour just before it is used, and places text and
// images relative to the widget's centre.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "widgets/widget.hpp"

namespace widget_paint {

// A context for the widget's display, clipped to the widget's position.
inline DrawContext Begin(const WidgetRecord* widget) {
    DrawContext context{};
    GrContextInit(&context, widget->display);
    GrContextClipRegionSet(&context, &widget->position);
    return context;
}

inline uint32_t Native(const DrawContext& context, uint32_t rgb) {
    return context.display->ColorTranslate(context.display->displayData, rgb);
}

// Keeps text and images off a one-pixel outline.
inline void ShrinkClip(DrawContext& context) {
    context.clip.xmin = static_cast<int16_t>(context.clip.xmin + 1);
    context.clip.ymin = static_cast<int16_t>(context.clip.ymin + 1);
    context.clip.xmax = static_cast<int16_t>(context.clip.xmax - 1);
    context.clip.ymax = static_cast<int16_t>(context.clip.ymax - 1);
}

inline int32_t CentreX(const Rect& position) {
    return position.xmin + (position.xmax + 1 - position.xmin) / 2;
}
inline int32_t CentreY(const Rect& position) {
    return position.ymin + (position.ymax + 1 - position.ymin) / 2;
}

// Picture size from the image record's header (u16 little-endian at offsets 1 and 3).
inline int32_t ImageWidth(const uint8_t* image) {
    return image[1] | image[2] << 8;
}
inline int32_t ImageHeight(const uint8_t* image) {
    return image[3] | image[4] << 8;
}

}  // namespace widget_paint
