// Unit-test support for widget and screen drawing: reference pictures on a second recording
// display, and comparisons of a region of two displays.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "graphics/context.hpp"
#include "graphics/string.hpp"
#include "support/recording_display.hpp"

namespace testsupport {

// Text as the graphics library draws it in the given clip, on a display prepared by the caller.
inline void ReferenceText(RecordingDisplay& display, const Rect& clip, const FontRecord* font,
                          const char* text, int32_t x, int32_t y, uint32_t rgb, uint32_t backRgb,
                          uint32_t opaque) {
    DrawContext context{};
    GrContextInit(&context, display.driver());
    GrContextClipRegionSet(&context, &clip);
    context.font = font;
    context.foreground = RecordingDisplay::Native(rgb);
    context.background = RecordingDisplay::Native(backRgb);
    GrStringDraw(&context, text, -1, x, y, opaque);
}

// Number of pixels of the region that differ between the two displays (each reported once).
inline int CountDifferences(const RecordingDisplay& actual, const RecordingDisplay& expected,
                            const Rect& region) {
    int differences = 0;
    for (int y = region.ymin; y <= region.ymax; ++y) {
        for (int x = region.xmin; x <= region.xmax; ++x) {
            if (actual.at(x, y) != expected.at(x, y)) {
                if (differences++ < 5) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex
                                  << actual.at(x, y) << ", expected " << expected.at(x, y);
                }
            }
        }
    }
    return differences;
}

}  // namespace testsupport
