// Host test double of a display: a DisplayDriver over a pixel array (320 x 240 unless told
// otherwise) that also logs every call. It checks the drivers' contract on each call -
// coordinates inside the display and, when one is set, inside the expected clip; ordered ends
// and corners - and reports a breach as a test failure.
//
// Native colours are tagged so that a test can tell a translated colour from a raw one:
// ColorTranslate gives 0x01RRGGBB, a 16-bit pixel is stored as 0x02000000 | its RGB 5-6-5 value.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "graphics/context.hpp"

namespace testsupport {

class RecordingDisplay {
  public:
    enum class Op { PixelDraw, PixelDrawMultiple, LineDrawH, LineDrawV, RectFill, Flush };

    struct Call {
        Op op;
        int32_t x = 0;   // PixelDraw, PixelDrawMultiple, LineDrawV; x1 of LineDrawH; xmin
        int32_t y = 0;   // PixelDraw, PixelDrawMultiple, LineDrawH; y1 of LineDrawV; ymin
        int32_t x2 = 0;  // x2 of LineDrawH; xmax
        int32_t y2 = 0;  // y2 of LineDrawV; ymax
        int32_t x0 = 0;
        int32_t count = 0;
        int32_t bpp = 0;
        uint32_t color = 0;
    };

    static constexpr uint32_t kUntouched = 0xFFFFFFFFu;

    static uint32_t Native(uint32_t rgb) { return 0x01000000u | (rgb & 0xFFFFFFu); }
    static uint32_t Native565(uint32_t value) { return 0x02000000u | (value & 0xFFFFu); }

    explicit RecordingDisplay(uint16_t width = 320, uint16_t height = 240)
        : pixels_(static_cast<size_t>(width) * height, kUntouched) {
        driver_.size = sizeof(DisplayDriver);
        driver_.displayData = this;
        driver_.width = width;
        driver_.height = height;
        driver_.PixelDraw = &PixelDraw;
        driver_.PixelDrawMultiple = &PixelDrawMultiple;
        driver_.LineDrawH = &LineDrawH;
        driver_.LineDrawV = &LineDrawV;
        driver_.RectFill = &RectFill;
        driver_.ColorTranslate = &ColorTranslate;
        driver_.Flush = &Flush;
    }

    const DisplayDriver* driver() const { return &driver_; }
    int width() const { return driver_.width; }
    int height() const { return driver_.height; }

    uint32_t at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width() + x]; }
    void set(int x, int y, uint32_t color) {
        pixels_[static_cast<size_t>(y) * width() + x] = color;
    }
    void fill(uint32_t color) { pixels_.assign(pixels_.size(), color); }

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    size_t count(Op op) const {
        size_t n = 0;
        for (const Call& call : calls_) {
            n += call.op == op ? 1 : 0;
        }
        return n;
    }
    // Pixels whose colour differs from the untouched value.
    size_t touched() const {
        size_t n = 0;
        for (uint32_t pixel : pixels_) {
            n += pixel != kUntouched ? 1 : 0;
        }
        return n;
    }

    // Every later call must stay inside this rectangle (as well as inside the display).
    void expectWithin(const Rect& clip) { within_ = clip; }

  private:
    static RecordingDisplay& Self(void* data) { return *static_cast<RecordingDisplay*>(data); }

    void checkPoint(int32_t x, int32_t y, const char* what) {
        const bool inDisplay = x >= 0 && x < width() && y >= 0 && y < height();
        const bool inClip = !within_ || (x >= within_->xmin && x <= within_->xmax &&
                                         y >= within_->ymin && y <= within_->ymax);
        if (!inDisplay || !inClip) {
            ADD_FAILURE() << what << " outside the allowed area at (" << x << ", " << y << ")";
        }
    }

    void put(int32_t x, int32_t y, uint32_t color) {
        if (x >= 0 && x < width() && y >= 0 && y < height()) {
            set(x, y, color);
        }
    }

    static void PixelDraw(void* data, int32_t x, int32_t y, uint32_t color) {
        RecordingDisplay& self = Self(data);
        self.calls_.push_back({Op::PixelDraw, x, y, x, y, 0, 1, 0, color});
        self.checkPoint(x, y, "PixelDraw");
        self.put(x, y, color);
    }

    static void PixelDrawMultiple(void* data, int32_t x, int32_t y, int32_t x0, int32_t count,
                                  int32_t bpp, const uint8_t* bytes, const void* palette) {
        RecordingDisplay& self = Self(data);
        self.calls_.push_back({Op::PixelDrawMultiple, x, y, x + count - 1, y, x0, count, bpp, 0});
        if (count <= 0) {
            ADD_FAILURE() << "PixelDrawMultiple with count " << count;
            return;
        }
        self.checkPoint(x, y, "PixelDrawMultiple start");
        self.checkPoint(x + count - 1, y, "PixelDrawMultiple end");
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
                    const uint32_t index = nibble % 2 == 0 ? byte >> 4 : byte & 0x0F;
                    color = PaletteColor(entries, index);
                    break;
                }
                case 8:
                    color = PaletteColor(entries, bytes[i]);
                    break;
                case 16:
                    color = Native565(static_cast<uint32_t>(bytes[2 * i]) |
                                      static_cast<uint32_t>(bytes[2 * i + 1]) << 8);
                    break;
                default:
                    return;
            }
            self.put(x + i, y, color);
        }
    }

    static uint32_t PaletteColor(const uint8_t* entries, uint32_t index) {
        const uint8_t* entry = entries + 3 * index;
        return Native(static_cast<uint32_t>(entry[2]) << 16 | static_cast<uint32_t>(entry[1]) << 8 |
                      entry[0]);
    }

    static void LineDrawH(void* data, int32_t x1, int32_t x2, int32_t y, uint32_t color) {
        RecordingDisplay& self = Self(data);
        self.calls_.push_back({Op::LineDrawH, x1, y, x2, y, 0, x2 - x1 + 1, 0, color});
        if (x1 > x2) {
            ADD_FAILURE() << "LineDrawH with x1 " << x1 << " > x2 " << x2;
        }
        self.checkPoint(x1, y, "LineDrawH start");
        self.checkPoint(x2, y, "LineDrawH end");
        for (int32_t x = x1; x <= x2; ++x) {
            self.put(x, y, color);
        }
    }

    static void LineDrawV(void* data, int32_t x, int32_t y1, int32_t y2, uint32_t color) {
        RecordingDisplay& self = Self(data);
        self.calls_.push_back({Op::LineDrawV, x, y1, x, y2, 0, y2 - y1 + 1, 0, color});
        if (y1 > y2) {
            ADD_FAILURE() << "LineDrawV with y1 " << y1 << " > y2 " << y2;
        }
        self.checkPoint(x, y1, "LineDrawV start");
        self.checkPoint(x, y2, "LineDrawV end");
        for (int32_t y = y1; y <= y2; ++y) {
            self.put(x, y, color);
        }
    }

    static void RectFill(void* data, const Rect* rect, uint32_t color) {
        RecordingDisplay& self = Self(data);
        self.calls_.push_back(
            {Op::RectFill, rect->xmin, rect->ymin, rect->xmax, rect->ymax, 0, 0, 0, color});
        if (rect->xmin > rect->xmax || rect->ymin > rect->ymax) {
            ADD_FAILURE() << "RectFill with unordered corners";
        }
        self.checkPoint(rect->xmin, rect->ymin, "RectFill top-left");
        self.checkPoint(rect->xmax, rect->ymax, "RectFill bottom-right");
        for (int32_t y = rect->ymin; y <= rect->ymax; ++y) {
            for (int32_t x = rect->xmin; x <= rect->xmax; ++x) {
                self.put(x, y, color);
            }
        }
    }

    static uint32_t ColorTranslate(void*, uint32_t rgb) { return Native(rgb); }

    static void Flush(void* data) { Self(data).calls_.push_back({Op::Flush}); }

    DisplayDriver driver_{};
    std::vector<uint32_t> pixels_;
    std::vector<Call> calls_;
    std::optional<Rect> within_;
};

}  // namespace testsupport
