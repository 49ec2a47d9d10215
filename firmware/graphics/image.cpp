// Pictures: palette images of 1, 4 and 8 bits per pixel, plain or compressed, and 16-bit
// direct-colour images, drawn clipped, one driver call per row or row piece.
#include "graphics/image.hpp"

#include <algorithm>
#include <cstddef>

ImageDrawFn GrImageDraw = _GrImageDraw;
// Filled from GrImageDraw by display start-up; nothing draws through it before that.
ImageDrawFn hmi_DrawImage;

uint8_t g_pucDictionary[32];

// Draws the full window of a Decompressor (below) and returns where the next window ends, or
// nothing after the last. Called from the decoder loop, which on the target is written by hand
// (image_decode.S).
extern "C" uint8_t* image_next_window(void* decompressor);
#if defined(__arm__) && defined(__thumb2__)
extern "C" void image_decode(const uint8_t* stream, uint8_t* end, void* decompressor);
#endif

namespace {

constexpr uint8_t kCompressed = 0x80;
constexpr uint8_t kDirectColor = 0xC0;
constexpr uint32_t kWindowSize = sizeof(g_pucDictionary);

uint32_t ReadU16(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
}

// The part of an image that lies inside the clip, in image columns, and the rows that reach
// down to the bottom of the clip.
struct Visible {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t firstColumn;
    int32_t lastColumn;
    int32_t rows;
};

// Writes the decompressed stream into the window ring and hands every full window (and the
// last, partial one) to the rows that it covers. Positions in a row are counted in bytes; a
// shift turns them into pixel columns.
class Decompressor {
  public:
    Decompressor(const DrawContext* context, const Visible& visible, int32_t bpp,
                 const void* palette)
        : display_(context->display),
          draw_(context->display->PixelDrawMultiple),
          displayData_(context->display->displayData),
          palette_(palette),
          bpp_(bpp),
          shift_(bpp == 8   ? 0
                 : bpp == 4 ? 1
                            : 3),
          stride_((bpp * visible.width + 7) / 8),
          x_(visible.x),
          firstColumn_(visible.firstColumn),
          endColumn_(visible.lastColumn + 1),
          firstByte_(visible.firstColumn >> shift_),
          endByte_((visible.lastColumn >> shift_) + 1),
          clipTop_(context->clip.ymin),
          rowsLeft_(visible.rows),
          screenRow_(visible.y),
          wholeFirst_((visible.firstColumn + (1 << shift_) - 1) >> shift_),
          wholePixels_(static_cast<int32_t>(kWindowSize) << shift_) {
        // A whole window lies inside the visible columns when it starts on or after the first
        // one's byte boundary and ends on or before the last one's, and before the row ends.
        int32_t wholeLast = endColumn_ >> shift_;
        if (wholeLast > stride_ - 1) {
            wholeLast = stride_ - 1;
        }
        wholeLast -= static_cast<int32_t>(kWindowSize);
        wholeStarts_ =
            wholeLast >= wholeFirst_ ? static_cast<uint32_t>(wholeLast - wholeFirst_ + 1) : 0;
        NewRow();
    }

    // The positions are locals: every byte stored to the window may alias the members, so a
    // member would be reloaded after each byte. Only the bytes that the visible rows take are
    // produced: the stream is not read beyond them.
    void Run(const uint8_t* stream) {
        uint8_t* const window = g_pucDictionary;
        for (uint32_t i = 0; i < kWindowSize; ++i) {
            window[i] = 0;
        }
        // At most 65535 x 65535 bytes: 32 bits hold it.
        const uint32_t total = static_cast<uint32_t>(stride_) * static_cast<uint32_t>(rowsLeft_);
        if (total == 0) {
            return;
        }
        windowsLeft_ = (total - 1) / kWindowSize + 1;
        lastFill_ = total - (windowsLeft_ - 1) * kWindowSize;
        uint8_t* end = window + (windowsLeft_ == 1 ? lastFill_ : kWindowSize);
#if defined(__arm__) && defined(__thumb2__)
        image_decode(stream, end, this);
#else
        // The target's loop step by step, without its unrolling.
        uint8_t* const windowEnd = window + kWindowSize;
        uint8_t* to = window;
        // The byte written last, which a run repeats; the cleared window holds zeros.
        uint8_t last = 0;
        // After the last window: false.
        const auto windowFilled = [&] {
            end = image_next_window(this);
            to = window;
            return end != nullptr;
        };
        for (;;) {
            // Eight flags, most significant first, above a marker bit: when only the marker is
            // left (at the top), the group is done.
            constexpr uint32_t kMarkerOnly = 0x80000000u;
            uint32_t flags = static_cast<uint32_t>(*stream++) << 24 | 0x00800000u;
            do {
                const uint32_t item = *stream++;
                if ((flags & 0x80000000u) == 0) {
                    last = static_cast<uint8_t>(item);
                    *to++ = last;
                    if (to == end && !windowFilled()) {
                        return;
                    }
                } else {
                    // Offset 31 repeats the byte written last: a run, stored without loading.
                    const bool run = item >= (31u << 3);
                    const uint8_t* from =
                        window + (static_cast<uint32_t>(to - window) + (item >> 3)) % kWindowSize;
                    // In pieces that end where the window fills or the source wraps.
                    for (uint32_t length = (item & 7) + 2; length > 0;) {
                        uint32_t piece = std::min(length, static_cast<uint32_t>(end - to));
                        if (!run) {
                            piece = std::min(piece, static_cast<uint32_t>(windowEnd - from));
                        }
                        length -= piece;
                        for (; piece > 0; --piece) {
                            last = run ? last : *from++;
                            *to++ = last;
                        }
                        if (from == windowEnd) {
                            from = window;
                        }
                        if (to == end && !windowFilled()) {
                            return;
                        }
                    }
                }
                flags <<= 1;
            } while (flags != kMarkerOnly);
        }
#endif
    }

    // Draws the window that has just filled and returns where the next one ends, or nothing
    // after the last. A window that lies inside the visible part of one row, not at its end, goes
    // to the driver whole; anything else is cut up by DrawWindow. Out of line (image_next_window),
    // so that the decoder's loop keeps its positions in registers.
    [[gnu::always_inline]] uint8_t* NextWindow() {
        const int32_t rowByte = rowByte_;
        if (static_cast<uint32_t>(rowByte - wholeFirst_) < wholeStartsHere_) {
            const int32_t first = rowByte << shift_;
            draw_(displayData_, x_ + first, screenRow_, first & 7, wholePixels_, bpp_,
                  g_pucDictionary, palette_);
            rowByte_ = rowByte + static_cast<int32_t>(kWindowSize);
        } else {
            DrawWindow();
        }
        const uint32_t left = --windowsLeft_;
        if (left == 0) {
            return nullptr;
        }
        return g_pucDictionary + (left == 1 ? lastFill_ : kWindowSize);
    }

  private:
    // Whole windows can start in a visible row that is still to be drawn.
    void NewRow() {
        wholeStartsHere_ = rowsLeft_ > 0 && screenRow_ >= clipTop_ ? wholeStarts_ : 0;
    }

    // Hands the rows (or row pieces) of the window to the driver, from its first byte on, until
    // the window or the visible rows end.
    [[gnu::noinline]] void DrawWindow() {
        const DisplayDriver* const display = display_;
        int32_t rowByte = rowByte_;
        int32_t screenRow = screenRow_;
        int32_t rowsLeft = rowsLeft_;
        int32_t read = 0;
        constexpr auto kSize = static_cast<int32_t>(kWindowSize);
        while (rowsLeft > 0) {
            // Where in the row the window ends (the row may end before).
            const int32_t windowEnd = rowByte + (kSize - read);
            if (screenRow >= clipTop_ && windowEnd > firstByte_ && rowByte < endByte_) {
                if (rowByte < firstByte_) {
                    // Skip whole bytes up to the one that holds the first visible column.
                    read += firstByte_ - rowByte;
                    rowByte = firstByte_;
                }
                // Within its byte, the first visible column may lie past the row's position.
                int32_t first = rowByte << shift_;
                if (first < firstColumn_) {
                    first = firstColumn_;
                }
                int32_t stop = windowEnd << shift_;
                if (stop > endColumn_) {
                    stop = endColumn_;
                }
                display->PixelDrawMultiple(display->displayData, x_ + first, screenRow, first & 7,
                                           stop - first, bpp_, g_pucDictionary + read, palette_);
            }
            if (windowEnd < stride_) {
                rowByte = windowEnd;
                break;
            }
            read += stride_ - rowByte;
            ++screenRow;
            --rowsLeft;
            rowByte = 0;
            if (read == kSize) {
                break;
            }
        }
        rowByte_ = rowByte;
        screenRow_ = screenRow;
        rowsLeft_ = rowsLeft;
        NewRow();
    }

    const DisplayDriver* display_;
    // The driver's entry and data, read once for the whole windows.
    decltype(DisplayDriver::PixelDrawMultiple) draw_;
    void* displayData_;
    const void* palette_;
    int32_t bpp_;
    int32_t shift_;   // log2 of the pixels in a byte
    int32_t stride_;  // bytes a row
    int32_t x_;
    int32_t firstColumn_;
    int32_t endColumn_;  // the column after the last visible one
    int32_t firstByte_;  // the byte that holds firstColumn_
    int32_t endByte_;    // the byte after the one that holds the last visible column
    int32_t clipTop_;
    int32_t rowsLeft_;
    int32_t screenRow_;
    int32_t rowByte_ = 0;  // where in its row the window's next byte lies
    // Whole windows: the first row position where one may start, how many positions from there
    // may in a visible row, and how many may in the current row (none if it is not drawn).
    int32_t wholeFirst_;
    int32_t wholePixels_;  // a whole window's
    uint32_t wholeStarts_ = 0;
    uint32_t wholeStartsHere_ = 0;
    uint32_t windowsLeft_ = 0;  // including the one being filled
    uint32_t lastFill_ = 0;     // the bytes of the last window
};

}  // namespace

uint8_t* image_next_window(void* decompressor) {
    return static_cast<Decompressor*>(decompressor)->NextWindow();
}

namespace {

void DrawPlain(const DrawContext* context, const Visible& visible, int32_t bpp, const uint8_t* data,
               const void* palette) {
    const Rect& clip = context->clip;
    const DisplayDriver* display = context->display;
    // Row offsets in 64 bits: stride times rows can exceed 32 bits for the largest records.
    const int64_t stride = (bpp * visible.width + 7) / 8;
    int32_t rows = visible.rows;
    int32_t screenRow = visible.y;
    if (screenRow < clip.ymin) {
        const int32_t skipped = clip.ymin - screenRow;
        data += static_cast<ptrdiff_t>(stride * skipped);
        rows -= skipped;
        screenRow = clip.ymin;
    }
    const int32_t first = visible.firstColumn;
    const int32_t count = visible.lastColumn - first + 1;
    // 16-bit pixels are whole byte pairs: no position inside the first byte.
    const int32_t x0 = bpp == 16 ? 0 : first & 7;
    data += bpp * first / 8;
    for (; rows > 0; --rows, ++screenRow, data += static_cast<ptrdiff_t>(stride)) {
        display->PixelDrawMultiple(display->displayData, visible.x + first, screenRow, x0, count,
                                   bpp, data, palette);
    }
}

}  // namespace

void _GrImageDraw(const DrawContext* context, const uint8_t* image, int32_t x, int32_t y) {
    const Rect& clip = context->clip;
    const uint8_t format = image[0];
    const int32_t width = static_cast<int32_t>(ReadU16(image + 1));
    const int32_t height = static_cast<int32_t>(ReadU16(image + 3));
    // The tests run in this order so that x and y are known small before they are added to.
    if (ClipEmpty(clip) || x > clip.xmax || x + width <= clip.xmin || y > clip.ymax ||
        y + height <= clip.ymin) {
        return;
    }

    Visible visible{x, y, width, 0, width - 1, height};
    if (x < clip.xmin) {
        visible.firstColumn = clip.xmin - x;
    }
    if (x + width - 1 > clip.xmax) {
        visible.lastColumn = clip.xmax - x;
    }
    if (y + height - 1 > clip.ymax) {
        visible.rows = clip.ymax + 1 - y;
    }

    const bool compressed = format != kDirectColor && (format & kCompressed) != 0;
    const int32_t bpp = format == kDirectColor ? 16 : format & 0x7F;
    const uint8_t* data = image + 5;
    const void* palette = nullptr;
    // 1-bit pixels take the context's colours: a 0 bit the background, a 1 bit the foreground.
    const uint32_t twoColors[2] = {context->background, context->foreground};
    if (bpp == 4 || bpp == 8) {
        palette = data + 1;
        data += 1 + 3 * (data[0] + 1);
    } else if (bpp == 1) {
        palette = twoColors;
    }

    if (compressed) {
        // Only whole-byte pixel groups can be compressed; anything else is no picture.
        if (bpp != 1 && bpp != 4 && bpp != 8) {
            return;
        }
        Decompressor(context, visible, bpp, palette).Run(data);
    } else {
        DrawPlain(context, visible, bpp, data, palette);
    }
}
