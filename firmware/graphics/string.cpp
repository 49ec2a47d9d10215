// Text: measuring and drawing strings in the proportional run-length fonts. Glyphs are decoded
// step by step straight from program memory; nothing is buffered.
#include "graphics/string.hpp"

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
class GlyphSteps {
  public:
    GlyphSteps(const uint8_t* glyph, bool runLength)
        : code_(glyph), length_(glyph[0]), position_(2), runLength_(runLength) {}

    bool Next(uint32_t& off, uint32_t& on) {
        return runLength_ ? NextRunLength(off, on) : NextBitRuns(off, on);
    }

  private:
    bool NextRunLength(uint32_t& off, uint32_t& on) {
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
    bool runLength_;
};

// Draws one decoded glyph cell at (x, y). Runs of two or more pixels within a row go out as one
// clipped horizontal line; single pixels are clipped here.
void DrawGlyph(const DrawContext* context, const DrawContext* backgroundContext,
               const uint8_t* glyph, bool runLength, int32_t x, int32_t y, bool opaque) {
    const Rect& clip = context->clip;
    const DisplayDriver* display = context->display;
    const int32_t width = glyph[1];
    int32_t row = 0;
    int32_t column = 0;
    GlyphSteps steps(glyph, runLength);
    uint32_t runs[2];
    while (steps.Next(runs[0], runs[1])) {
        for (int phase = 0; phase < 2; ++phase) {
            const bool foreground = phase == 1;
            const DrawContext* lineContext = foreground ? context : backgroundContext;
            const bool visible = foreground || opaque;
            if (y + row > clip.ymax) {
                return;
            }
            uint32_t remaining = runs[phase];
            while (remaining > 0) {
                if (y + row > clip.ymax) {
                    return;
                }
                const bool drawRow = visible && y + row >= clip.ymin;
                int32_t piece = 1;
                if (remaining > 1 && column + 1 < width) {
                    piece = width - column;
                    if (static_cast<uint32_t>(piece) > remaining) {
                        piece = static_cast<int32_t>(remaining);
                    }
                    if (drawRow) {
                        GrLineDrawH(lineContext, x + column, x + column + piece - 1, y + row);
                    }
                } else if (drawRow && x + column >= clip.xmin && x + column <= clip.xmax) {
                    display->PixelDraw(display->displayData, x + column, y + row,
                                       lineContext->foreground);
                }
                column += piece;
                remaining -= static_cast<uint32_t>(piece);
                if (column == width) {
                    column = 0;
                    ++row;
                }
            }
        }
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
    const FontRecord* font = context->font;
    const bool runLength = font->format != 0;
    // Background runs are drawn as lines in the background colour through a copy of the
    // context, so the caller's context stays as it was.
    DrawContext backgroundContext = *context;
    backgroundContext.foreground = context->background;
    while (length != 0 && *text != '\0') {
        if (x > context->clip.xmax) {
            return;
        }
        const uint8_t* glyph = GlyphOf(font, *text);
        const int32_t width = glyph[1];
        if (x + width >= context->clip.xmin) {
            DrawGlyph(context, &backgroundContext, glyph, runLength, x, y, opaque != 0);
        }
        x += width;
        ++text;
        --length;
    }
}
