// Lines: clipped horizontal and vertical runs handed to the driver whole, and general lines
// clipped with outcodes and rasterised with integer steps.
#include <cstdint>

#include "graphics/context.hpp"

void GrLineDrawH(const DrawContext* context, int32_t x1, int32_t x2, int32_t y) {
    const Rect& clip = context->clip;
    if (ClipEmpty(clip) || y < clip.ymin || y > clip.ymax) {
        return;
    }
    if (x1 > x2) {
        const int32_t swap = x1;
        x1 = x2;
        x2 = swap;
    }
    if (x1 > clip.xmax || x2 < clip.xmin) {
        return;
    }
    if (x1 < clip.xmin) {
        x1 = clip.xmin;
    }
    if (x2 > clip.xmax) {
        x2 = clip.xmax;
    }
    const DisplayDriver* display = context->display;
    display->LineDrawH(display->displayData, x1, x2, y, context->foreground);
}

void GrLineDrawV(const DrawContext* context, int32_t x, int32_t y1, int32_t y2) {
    const Rect& clip = context->clip;
    if (ClipEmpty(clip) || x < clip.xmin || x > clip.xmax) {
        return;
    }
    if (y1 > y2) {
        const int32_t swap = y1;
        y1 = y2;
        y2 = swap;
    }
    if (y1 > clip.ymax || y2 < clip.ymin) {
        return;
    }
    if (y1 < clip.ymin) {
        y1 = clip.ymin;
    }
    if (y2 > clip.ymax) {
        y2 = clip.ymax;
    }
    const DisplayDriver* display = context->display;
    display->LineDrawV(display->displayData, x, y1, y2, context->foreground);
}

namespace {

constexpr uint32_t kAbove = 1;
constexpr uint32_t kBelow = 2;
constexpr uint32_t kLeft = 4;
constexpr uint32_t kRight = 8;

uint32_t Outcode(const Rect& clip, int32_t x, int32_t y) {
    uint32_t code = 0;
    if (y < clip.ymin) {
        code += kAbove;
    }
    if (y > clip.ymax) {
        code += kBelow;
    }
    if (x < clip.xmin) {
        code += kLeft;
    }
    if (x > clip.xmax) {
        code += kRight;
    }
    return code;
}

// The point on the line through (a1, b1)-(a2, b2) whose first coordinate is edge, edge lying
// between a1 and a2. Each difference of two 32-bit values has a magnitude below 2^32, so the
// product of two magnitudes fits 64 bits unsigned where the signed product would not; the
// quotient is at most |b2 - b1|, so the result lies between b1 and b2. The division truncates
// toward zero, as a signed division of the same values does.
int32_t Intercept(int32_t a1, int32_t b1, int32_t a2, int32_t b2, int32_t edge) {
    const int64_t along = static_cast<int64_t>(edge) - a1;
    const int64_t rise = static_cast<int64_t>(b2) - b1;
    const int64_t run = static_cast<int64_t>(a2) - a1;
    const auto magnitude = [](int64_t value) {
        return static_cast<uint64_t>(value < 0 ? -value : value);
    };
    const uint64_t quotient = magnitude(along) * magnitude(rise) / magnitude(run);
    const bool negative = ((along < 0) != (rise < 0)) != (run < 0);
    const auto offset = static_cast<int64_t>(quotient);
    return static_cast<int32_t>(b1 + (negative ? -offset : offset));
}

// Moves end points onto the clip edges; false when the line misses the clip rectangle.
bool ClipLine(const Rect& clip, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
    uint32_t code1 = Outcode(clip, x1, y1);
    uint32_t code2 = Outcode(clip, x2, y2);
    for (;;) {
        if ((code1 | code2) == 0) {
            return true;
        }
        if ((code1 & code2) != 0) {
            return false;
        }
        const bool first = code1 != 0;
        const uint32_t code = first ? code1 : code2;
        int32_t x = 0;
        int32_t y = 0;
        if ((code & (kAbove | kBelow)) != 0) {
            y = (code & kAbove) != 0 ? clip.ymin : clip.ymax;
            x = Intercept(y1, x1, y2, x2, y);
        } else {
            x = (code & kLeft) != 0 ? clip.xmin : clip.xmax;
            y = Intercept(x1, y1, x2, y2, x);
        }
        if (first) {
            x1 = x;
            y1 = y;
            code1 = Outcode(clip, x1, y1);
        } else {
            x2 = x;
            y2 = y;
            code2 = Outcode(clip, x2, y2);
        }
    }
}

int32_t Magnitude(int32_t value) {
    return value < 0 ? -value : value;
}

}  // namespace

void GrLineDraw(const DrawContext* context, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (x1 == x2) {
        GrLineDrawV(context, x1, y1, y2);
        return;
    }
    if (y1 == y2) {
        GrLineDrawH(context, x1, x2, y1);
        return;
    }
    if (ClipEmpty(context->clip) || !ClipLine(context->clip, x1, y1, x2, y2)) {
        return;
    }

    // Both end points are inside the clip now: the pixels need no further tests.
    const bool steep = Magnitude(y2 - y1) > Magnitude(x2 - x1);
    int32_t majorStart = steep ? y1 : x1;
    int32_t minorStart = steep ? x1 : y1;
    int32_t majorEnd = steep ? y2 : x2;
    int32_t minorEnd = steep ? x2 : y2;
    if (majorStart > majorEnd) {
        const int32_t major = majorStart;
        const int32_t minor = minorStart;
        majorStart = majorEnd;
        minorStart = minorEnd;
        majorEnd = major;
        minorEnd = minor;
    }
    const int32_t span = majorEnd - majorStart;
    const int32_t rise = Magnitude(minorEnd - minorStart);
    const int32_t step = minorEnd > minorStart ? 1 : -1;

    const DisplayDriver* display = context->display;
    const uint32_t color = context->foreground;
    int32_t error = -(span / 2);
    int32_t minor = minorStart;
    for (int32_t major = majorStart; major <= majorEnd; ++major) {
        if (steep) {
            display->PixelDraw(display->displayData, minor, major, color);
        } else {
            display->PixelDraw(display->displayData, major, minor, color);
        }
        error += rise;
        if (error > 0) {
            minor += step;
            error -= span;
        }
    }
}
