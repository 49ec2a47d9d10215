// A display for the fuzz targets: a 320 x 240 pixel array behind a driver that fails the run on
// any call the graphics layer promises never to make - a pixel outside the display or outside
// the clip it was given, reversed ranges, empty or negative runs, an unknown pixel depth.
#pragma once

#include <vector>

#include "fuzz_support.hpp"
#include "graphics/context.hpp"

namespace fuzz {

class ClipDisplay {
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;
    static constexpr uint32_t kUntouched = 0xFFFFFFFFu;

    ClipDisplay() : pixels_(kWidth * kHeight, kUntouched) {
        touched_.reserve(kWidth * kHeight);
        driver_.size = sizeof(DisplayDriver);
        driver_.displayData = this;
        driver_.width = kWidth;
        driver_.height = kHeight;
        driver_.PixelDraw = &PixelDraw;
        driver_.PixelDrawMultiple = &PixelDrawMultiple;
        driver_.LineDrawH = &LineDrawH;
        driver_.LineDrawV = &LineDrawV;
        driver_.RectFill = &RectFill;
        driver_.ColorTranslate = &ColorTranslate;
        driver_.Flush = &Flush;
    }

    const DisplayDriver* driver() const { return &driver_; }
    void allow(const Rect& clip) { clip_ = clip; }
    // Back to untouched: only the pixels drawn are reset, so a display can serve many inputs.
    void clear() {
        for (const uint32_t i : touched_) {
            pixels_[i] = kUntouched;
        }
        touched_.clear();
    }
    uint32_t at(int x, int y) const { return pixels_[static_cast<size_t>(y) * kWidth + x]; }
    uint32_t at(uint32_t index) const { return pixels_[index]; }
    // The pixels drawn since the last clear, each once (index y * kWidth + x), in drawing order.
    const std::vector<uint32_t>& touched() const { return touched_; }
    // The same pixels drawn in the same colours.
    bool sameAs(const ClipDisplay& other) const {
        if (touched_.size() != other.touched_.size()) {
            return false;
        }
        for (const uint32_t i : touched_) {
            if (other.pixels_[i] != pixels_[i]) {
                return false;
            }
        }
        return true;
    }

  private:
    static ClipDisplay& Self(void* data) { return *static_cast<ClipDisplay*>(data); }

    void put(int32_t x, int32_t y, uint32_t color) {
        FUZZ_CHECK(x >= 0 && x < kWidth && y >= 0 && y < kHeight);
        FUZZ_CHECK(x >= clip_.xmin && x <= clip_.xmax && y >= clip_.ymin && y <= clip_.ymax);
        FUZZ_CHECK(color != kUntouched);
        uint32_t& pixel = pixels_[static_cast<size_t>(y) * kWidth + x];
        if (pixel == kUntouched) {
            touched_.push_back(static_cast<uint32_t>(y * kWidth + x));
        }
        pixel = color;
    }

    static void PixelDraw(void* data, int32_t x, int32_t y, uint32_t color) {
        Self(data).put(x, y, color);
    }

    static uint32_t PaletteColor(const uint8_t* entries, uint32_t index) {
        const uint8_t* entry = entries + 3 * index;
        return 0x01000000u | static_cast<uint32_t>(entry[2]) << 16 |
               static_cast<uint32_t>(entry[1]) << 8 | entry[0];
    }

    static void PixelDrawMultiple(void* data, int32_t x, int32_t y, int32_t x0, int32_t count,
                                  int32_t bpp, const uint8_t* bytes, const void* palette) {
        ClipDisplay& self = Self(data);
        FUZZ_CHECK(count > 0);
        FUZZ_CHECK(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16);
        FUZZ_CHECK(x0 >= 0 && x0 < 8);
        const auto* entries = static_cast<const uint8_t*>(palette);
        for (int32_t i = 0; i < count; ++i) {
            uint32_t color = 0;
            switch (bpp) {
                case 1: {
                    const int32_t bit = x0 + i;
                    const bool set = (bytes[bit / 8] & (0x80 >> (bit % 8))) != 0;
                    color = static_cast<const uint32_t*>(palette)[set ? 1 : 0];
                    break;
                }
                case 4: {
                    const int32_t nibble = (x0 & 1) + i;
                    const uint8_t byte = bytes[nibble / 2];
                    color = PaletteColor(entries, nibble % 2 == 0 ? byte >> 4 : byte & 0x0F);
                    break;
                }
                case 8:
                    color = PaletteColor(entries, bytes[i]);
                    break;
                default:
                    color = 0x02000000u | bytes[2 * i] | static_cast<uint32_t>(bytes[2 * i + 1]) << 8;
                    break;
            }
            self.put(x + i, y, color);
        }
    }

    static void LineDrawH(void* data, int32_t x1, int32_t x2, int32_t y, uint32_t color) {
        FUZZ_CHECK(x1 <= x2);
        for (int32_t x = x1; x <= x2; ++x) {
            Self(data).put(x, y, color);
        }
    }

    static void LineDrawV(void* data, int32_t x, int32_t y1, int32_t y2, uint32_t color) {
        FUZZ_CHECK(y1 <= y2);
        for (int32_t y = y1; y <= y2; ++y) {
            Self(data).put(x, y, color);
        }
    }

    static void RectFill(void* data, const Rect* rect, uint32_t color) {
        FUZZ_CHECK(rect->xmin <= rect->xmax && rect->ymin <= rect->ymax);
        for (int32_t y = rect->ymin; y <= rect->ymax; ++y) {
            for (int32_t x = rect->xmin; x <= rect->xmax; ++x) {
                Self(data).put(x, y, color);
            }
        }
    }

    static uint32_t ColorTranslate(void*, uint32_t rgb) { return 0x01000000u | (rgb & 0xFFFFFFu); }
    static void Flush(void*) {}

    DisplayDriver driver_{};
    std::vector<uint32_t> pixels_;
    std::vector<uint32_t> touched_;
    Rect clip_{0, 0, kWidth - 1, kHeight - 1};
};

}  // namespace fuzz
