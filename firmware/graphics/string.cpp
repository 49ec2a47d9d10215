// Text: measuring and drawing strings in the proportional run-length fonts. Glyphs are decoded
// step by step straight from program memory; nothing is buffered.
#include "graphics/string.hpp"

#include <cstdint>

namespace {

constexpr uint8_t kFirstGlyph = 32;
constexpr uint8_t kLastGlyph = 126;
constexpr uint8_t kSubstitute = '.';

// The glyph record of a character: a length byte, a width byte, then the pixel code.
const uint8_t* GlyphOf(const FontRecord* font, char character) {
    uint8_t code = static_cast<uint8_t>(character);
    if (code < kFirstGlyph || code > kLastGlyph) {
        code = kSubstitute;
    }
    return font->data + font->offset[code - kFirstGlyph];
}

// Yields the (background, foreground) run pairs of one glyph's pixel code.
template <bool RunLength>
class GlyphSteps {
  public:
    explicit GlyphSteps(const uint8_t* glyph) : code_(glyph), length_(glyph[0]), position_(2) {}

    [[gnu::always_inline]] bool Next(uint32_t& off, uint32_t& on) {
        if constexpr (RunLength) {
            return NextRunLength(off, on);
        } else {
            return NextBitRuns(off, on);
        }
    }

  private:
    [[gnu::always_inline]] bool NextRunLength(uint32_t& off, uint32_t& on) {
        if (position_ >= length_) {
            return false;
        }
        const uint8_t element = code_[position_++];
        if (element != 0) {
            off = element >> 4;
            on = element & 0x0Fu;
            return true;
        }
        // An escape whose count byte would lie beyond the record ends the glyph there.
        if (position_ >= length_) {
            return false;
        }
        const uint8_t count = code_[position_++];
        if ((count & 0x80u) != 0) {
            off = 0;
            on = (count & 0x7Fu) * 8u;
        } else {
            off = count * 8u;
            on = 0;
        }
        return true;
    }

    // Plain bit stream, most significant bit first; runs cross byte boundaries and the last
    // byte is read to its end.
    bool NextBitRuns(uint32_t& off, uint32_t& on) {
        if (position_ >= length_) {
            return false;
        }
        off = CountRun(false);
        on = CountRun(true);
        return true;
    }

    uint32_t CountRun(bool set) {
        uint32_t run = 0;
        while (position_ < length_) {
            const bool bit = ((code_[position_] << bit_) & 0x80u) != 0;
            if (bit != set) {
                break;
            }
            ++run;
            if (++bit_ == 8) {
                bit_ = 0;
                ++position_;
            }
        }
        return run;
    }

    const uint8_t* code_;
    uint32_t length_;
    uint32_t position_;
    uint32_t bit_ = 0;
};

// What a string's glyphs are drawn with, read once per string: the clip (known not empty), the
// driver's two entry points, and the colour of each run kind (background first).
struct TextPen {
    void* displayData;
    void (*pixelDraw)(void* displayData, int32_t x, int32_t y, uint32_t color);
    void (*lineDrawH)(void* displayData, int32_t x1, int32_t x2, int32_t y, uint32_t color);
    int32_t xmin;
    int32_t ymin;
    int32_t xmax;
    int32_t ymax;
    uint32_t color[2];
    bool opaque;
};

// Moves the position in a glyph cell of the given width on by count pixels without drawing. A
// cell of width 0 never wraps.
[[gnu::always_inline]] inline void Skip(uint32_t count, int32_t width, int32_t& row,
                                        int32_t& column) {
    const uint32_t position = static_cast<uint32_t>(column) + count;
    if (position < static_cast<uint32_t>(width) || width == 0) {
        column = static_cast<int32_t>(position);
    } else {
        row += static_cast<int32_t>(position / static_cast<uint32_t>(width));
        column = static_cast<int32_t>(position % static_cast<uint32_t>(width));
    }
}

// Draws a run of count pixels from (column, row) of a glyph cell at x. Pieces of two or more
// pixels within a row go out as one horizontal line clipped to the pen's columns; single pixels
// are clipped alone. Rows above the clip only move the position. False once the position is
// below the clip: nothing more of the glyph can show. Inside: the cell's columns all lie inside
// the clip's, and its top row is not above the clip, so only the bottom is left to check.
template <bool Inside>
[[gnu::always_inline]] inline bool DrawRun(const TextPen& pen, uint32_t color, uint32_t count,
                                           int32_t x, int32_t width, int32_t& row,
                                           int32_t& column) {
    if (!Inside && row < pen.ymin) {
        const int64_t aboveClip =
            width == 0 ? INT64_MAX : (static_cast<int64_t>(pen.ymin) - row) * width - column;
        if (static_cast<int64_t>(count) <= aboveClip) {
            Skip(count, width, row, column);
            return true;
        }
        Skip(static_cast<uint32_t>(aboveClip), width, row, column);
        count -= static_cast<uint32_t>(aboveClip);
    }
    if (Inside && count <= static_cast<uint32_t>(width - column)) {
        // The common case: the run ends in this row, one piece.
        if (row > pen.ymax) {
            return false;
        }
        const int32_t left = x + column;
        if (count > 1) {
            pen.lineDrawH(pen.displayData, left, left + static_cast<int32_t>(count) - 1, row,
                          color);
        } else {
            pen.pixelDraw(pen.displayData, left, row, color);
        }
        column += static_cast<int32_t>(count);
        if (column == width) {
            column = 0;
            ++row;
        }
        return true;
    }
    do {
        if (row > pen.ymax) {
            return false;
        }
        const int32_t left = x + column;
        int32_t piece = 1;
        if (count > 1 && column + 1 < width) {
            piece = width - column;
            if (static_cast<uint32_t>(piece) > count) {
                piece = static_cast<int32_t>(count);
            }
            int32_t right = left + piece - 1;
            if (Inside) {
                pen.lineDrawH(pen.displayData, left, right, row, color);
            } else if (left <= pen.xmax && right >= pen.xmin) {
                right = right > pen.xmax ? pen.xmax : right;
                pen.lineDrawH(pen.displayData, left < pen.xmin ? pen.xmin : left, right, row,
                              color);
            }
        } else if (Inside || (left >= pen.xmin && left <= pen.xmax)) {
            pen.pixelDraw(pen.displayData, left, row, color);
        }
        column += piece;
        count -= static_cast<uint32_t>(piece);
        if (column == width) {
            column = 0;
            ++row;
        }
    } while (count > 0);
    return true;
}

// Draws one decoded glyph cell at (x, y): its background runs (when opaque) and its foreground
// runs, alternating.
template <bool RunLength, bool Inside>
void DrawGlyph(const TextPen& pen, const uint8_t* glyph, int32_t x, int32_t y) {
    const int32_t width = glyph[1];
    int32_t row = y;  // on screen
    int32_t column = 0;
    GlyphSteps<RunLength> steps(glyph);
    uint32_t off = 0;
    uint32_t on = 0;
    while (steps.Next(off, on)) {
        if (row > pen.ymax) {
            return;
        }
        if (off != 0) {
            if (!pen.opaque) {
                Skip(off, width, row, column);
            } else if (!DrawRun<Inside>(pen, pen.color[0], off, x, width, row, column)) {
                return;
            }
            if (row > pen.ymax) {
                return;
            }
        }
        if (on != 0 && !DrawRun<Inside>(pen, pen.color[1], on, x, width, row, column)) {
            return;
        }
    }
}

// The common case: a run-length glyph whose cell lies within the clip's columns and not above
// it, so that only the bottom of the clip can cut it. The position moves on past the bottom
// without drawing until a run would be drawn there.
template <bool Opaque>
void DrawCodedGlyphInside(const TextPen& pen, const uint8_t* glyph, int32_t x, int32_t y) {
    const uint8_t* code = glyph + 2;
    const uint8_t* const end = glyph + glyph[0];
    const int32_t width = glyph[1];  // not 0
    int32_t row = y;
    int32_t column = 0;
    while (code < end) {
        const uint32_t element = *code++;
        uint32_t off = element >> 4;
        uint32_t on = element & 0x0Fu;
        if (element == 0) {
            // An escape whose count byte would lie beyond the record ends the glyph there.
            if (code >= end) {
                return;
            }
            const uint32_t count = *code++;
            if ((count & 0x80u) != 0) {
                on = (count & 0x7Fu) * 8u;
            } else {
                off = count * 8u;
            }
        }
        if (off != 0) {
            if (Opaque) {
                if (!DrawRun<true>(pen, pen.color[0], off, x, width, row, column)) {
                    return;
                }
            } else {
                column += static_cast<int32_t>(off);
                if (column >= width) {
                    // Short runs wrap once or twice; only an escape's long ones are worth a
                    // division.
                    if (off <= 0x0Fu) {
                        do {
                            column -= width;
                            ++row;
                        } while (column >= width);
                    } else {
                        row += column / width;
                        column %= width;
                    }
                    if (row > pen.ymax) {
                        return;
                    }
                }
            }
        }
        if (on != 0 && !DrawRun<true>(pen, pen.color[1], on, x, width, row, column)) {
            return;
        }
    }
}

template <bool RunLength>
void DrawGlyphs(const TextPen& pen, const FontRecord* font, const char* text, int32_t length,
                int32_t x, int32_t y) {
    while (length != 0 && *text != '\0') {
        if (x > pen.xmax) {
            return;
        }
        const uint8_t* glyph = GlyphOf(font, *text);
        const int32_t width = glyph[1];
        if (width > 0 && x >= pen.xmin && x + width - 1 <= pen.xmax && y >= pen.ymin) {
            if (!RunLength) {
                DrawGlyph<false, true>(pen, glyph, x, y);
            } else if (pen.opaque) {
                DrawCodedGlyphInside<true>(pen, glyph, x, y);
            } else {
                DrawCodedGlyphInside<false>(pen, glyph, x, y);
            }
        } else if (x + width >= pen.xmin) {
            DrawGlyph<RunLength, false>(pen, glyph, x, y);
        }
        x += width;
        ++text;
        --length;
    }
}

}  // namespace

// The count stops only when it reaches exactly zero, so a negative length means "up to the NUL".
int32_t GrStringWidthGet(const DrawContext* context, const char* text, int32_t length) {
    int32_t width = 0;
    while (length != 0 && *text != '\0') {
        width += GlyphOf(context->font, *text)[1];
        ++text;
        --length;
    }
    return width;
}

void GrStringDraw(const DrawContext* context, const char* text, int32_t length, int32_t x,
                  int32_t y, uint32_t opaque) {
    const Rect& clip = context->clip;
    // Nothing lies inside an empty clip.
    if (ClipEmpty(clip)) {
        return;
    }
    const DisplayDriver* display = context->display;
    const TextPen pen{display->displayData,
                      display->PixelDraw,
                      display->LineDrawH,
                      clip.xmin,
                      clip.ymin,
                      clip.xmax,
                      clip.ymax,
                      {context->background, context->foreground},
                      opaque != 0};
    const FontRecord* font = context->font;
    if (font->format != 0) {
        DrawGlyphs<true>(pen, font, text, length, x, y);
    } else {
        DrawGlyphs<false>(pen, font, text, length, x, y);
    }
}
