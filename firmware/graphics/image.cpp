// Pictures: palette images of 1, 4 and 8 bits per pixel, plain or compressed, and 16-bit
// direct-colour images, drawn clipped, one driver call per row or row piece.
#include "graphics/image.hpp"

#include <cstddef>

ImageDrawFn GrImageDraw = _GrImageDraw;
// Filled from GrImageDraw by display start-up; nothing draws through it before that.
ImageDrawFn hmi_DrawImage;

uint8_t g_pucDictionary[32];

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
// last, partial one) to the rows that it covers.
class Decompressor {
  public:
    Decompressor(const DrawContext* context, const Visible& visible, int32_t bpp,
                 const void* palette)
        : context_(context),
          visible_(visible),
          bpp_(bpp),
          palette_(palette),
          rowsLeft_(visible.rows),
          screenRow_(visible.y) {}

    // The write position is a local: every byte stored to the window may alias the members, so
    // a member would be reloaded after each byte.
    void Run(const uint8_t* stream) {
        uint8_t* const window = g_pucDictionary;
        for (uint32_t i = 0; i < kWindowSize; ++i) {
            window[i] = 0;
        }
        // 64 bits: a record of 65535 x 65535 pixels has more bytes than 32 bits count.
        const int64_t stride = (bpp_ * visible_.width + 7) / 8;
        int64_t toProduce = stride * visible_.rows;
        uint32_t write = 0;
        uint32_t flags = 0;
        uint32_t flagsLeft = 0;
        while (rowsLeft_ > 0 && toProduce > 0) {
            if (flagsLeft == 0) {
                flags = *stream++;
                flagsLeft = 8;
            }
            const bool reference = (flags & 0x80u) != 0;
            flags <<= 1;
            --flagsLeft;
            const uint32_t item = *stream++;
            if (!reference) {
                --toProduce;
                window[write] = static_cast<uint8_t>(item);
                if (++write == kWindowSize) {
                    DrawWindow();
                    write = 0;
                }
            } else {
                const uint32_t offset = item >> 3;
                uint32_t length = (item & 7) + 2;
                toProduce -= length;
                // In pieces that end where the window fills; the source index wraps on its own.
                uint32_t from = (write + offset) % kWindowSize;
                for (;;) {
                    const uint32_t room = kWindowSize - write;
                    const uint32_t piece = length < room ? length : room;
                    uint8_t* to = window + write;
                    uint8_t* const end = to + piece;
                    do {
                        *to++ = window[from];
                        from = (from + 1) % kWindowSize;
                    } while (to != end);
                    write += piece;
                    length -= piece;
                    if (write == kWindowSize) {
                        DrawWindow();
                        write = 0;
                    }
                    if (length == 0) {
                        break;
                    }
                }
            }
            if (toProduce <= 0) {
                if (write != 0) {
                    DrawWindow();
                }
                return;
            }
        }
    }

  private:
    void DrawWindow() {
        const Rect& clip = context_->clip;
        const DisplayDriver* display = context_->display;
        const int32_t pixelsPerByte = 8 / bpp_;
        int32_t read = 0;
        while (read < static_cast<int32_t>(kWindowSize) && rowsLeft_ > 0) {
            const int32_t available = (static_cast<int32_t>(kWindowSize) - read) * 8 / bpp_;
            if (screenRow_ >= clip.ymin && column_ + available > visible_.firstColumn &&
                column_ <= visible_.lastColumn) {
                if (column_ < visible_.firstColumn) {
                    // Skip whole bytes up to the first visible column; column_ stays on a
                    // byte boundary.
                    const int32_t skipped = visible_.firstColumn - column_;
                    read += skipped / pixelsPerByte;
                    column_ += skipped - skipped % pixelsPerByte;
                }
                const int32_t first =
                    column_ < visible_.firstColumn ? visible_.firstColumn : column_;
                const int32_t inWindow =
                    (static_cast<int32_t>(kWindowSize) - read) * pixelsPerByte - (first - column_);
                int32_t count = visible_.lastColumn - first + 1;
                if (count > inWindow) {
                    count = inWindow;
                }
                display->PixelDrawMultiple(display->displayData, visible_.x + first, screenRow_,
                                           first & 7, count, bpp_, g_pucDictionary + read,
                                           palette_);
            }
            const int32_t rowBytesLeft = (bpp_ * (visible_.width - column_) + 7) / 8;
            const int32_t windowLeft = static_cast<int32_t>(kWindowSize) - read;
            if (rowBytesLeft > windowLeft) {
                column_ += windowLeft * pixelsPerByte;
                read = static_cast<int32_t>(kWindowSize);
            } else {
                read += rowBytesLeft;
                ++screenRow_;
                --rowsLeft_;
                column_ = 0;
            }
        }
    }

    const DrawContext* context_;
    const Visible& visible_;
    int32_t bpp_;
    const void* palette_;
    int32_t rowsLeft_;
    int32_t screenRow_;
    int32_t column_ = 0;
};

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
    if (ClipEmpty(clip) || x > clip.xmax || x + width <= clip.xmin || y > clip.ymax || y + height <= clip.ymin) {
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
