#include "display_module.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "png_io.hpp"

namespace sim {

namespace {
constexpr uint8_t kResetPin = 0x01;
constexpr uint8_t kBacklightPin = 0x40;
constexpr uint8_t kRegId = 0x00;
// The window, high and low byte of each bound; the starts also place the address counter.
constexpr uint8_t kRegColumnStartHigh = 0x02;
constexpr uint8_t kRegColumnStartLow = 0x03;
constexpr uint8_t kRegColumnEndHigh = 0x04;
constexpr uint8_t kRegColumnEndLow = 0x05;
constexpr uint8_t kRegRowStartHigh = 0x06;
constexpr uint8_t kRegRowStartLow = 0x07;
constexpr uint8_t kRegRowEndHigh = 0x08;
constexpr uint8_t kRegRowEndLow = 0x09;
constexpr uint8_t kRegMemory = 0x22;
constexpr uint8_t kExchange = 0x20;
constexpr uint8_t kMirrorColumns = 0x40;
constexpr uint8_t kMirrorRows = 0x80;

uint16_t Pair(uint8_t high, uint8_t low) {
    return static_cast<uint16_t>((high << 8) | low);
}
}  // namespace

DisplayModule::DisplayModule(Scheduler& scheduler, GpioPort& a, GpioPort& b, GpioPort& c,
                             GpioPort& f, GpioPort& g, DisplayController controller)
    : scheduler_(scheduler),
      a_(a),
      b_(b),
      f_(f),
      controller_(controller),
      gram_(static_cast<size_t>(kColumns) * kRows, 0) {
    onReset(true);
    onReset(false);
    resets_ = 0;
    updateCursor();
    // The module drives the data lines only during a read (RD low).
    a_.setExternalSource([this] { return readByte(true); });
    b_.setExternalSource([this] { return readByte(false); });
    f.setWatcher(
        [](void* self, const GpioPort& port) {
            static_cast<DisplayModule*>(self)->onControlPins(port);
        },
        this);
    g.addListener([this](const GpioPort& port) {
        const bool low = (port.pinLevels() & kResetPin) == 0 && (port.drivenPins() & kResetPin);
        if (low != resetLow_) {
            onReset(low);
        }
    });
    c.addListener([this](const GpioPort& port) { onBacklight(port); });
}

void DisplayModule::updateWindow() {
    window_ = Window{Pair(registers_[kRegColumnStartHigh], registers_[kRegColumnStartLow]),
                  Pair(registers_[kRegColumnEndHigh], registers_[kRegColumnEndLow]),
                  Pair(registers_[kRegRowStartHigh], registers_[kRegRowStartLow]),
                  Pair(registers_[kRegRowEndHigh], registers_[kRegRowEndLow])};
}

void DisplayModule::fillMemory(uint16_t value) {
    std::fill(gram_.begin(), gram_.end(), value);
    ++version_;
}

void DisplayModule::clearLogs() {
    registerWrites_.clear();
    memoryRuns_.clear();
    logDropped_ = 0;
    runPixels_ = &unloggedRunPixels_;
}

uint8_t DisplayModule::readByte(bool high) const {
    const bool rdLow = (f_.drivenPins() & kRdPin) != 0 && (f_.outputLatch() & kRdPin) == 0;
    if (!rdLow || index_ != kRegId) {
        return 0;
    }
    const uint16_t id = controller_ == DisplayController::HX8347G ? kIdHX8347G : kIdHX8347A;
    return static_cast<uint8_t>(high ? id >> 8 : id & 0xFF);
}

void DisplayModule::onReset(bool low) {
    resetLow_ = low;
    if (!low) {
        return;
    }
    // Registers return to their defaults (the graphics memory keeps what it held).
    ++resets_;
    registers_.fill(0);
    registers_[kRegColumnEndLow] = 0xEF;  // the whole 240 x 320 memory
    registers_[kRegRowEndHigh] = 0x01;
    registers_[kRegRowEndLow] = 0x3F;
    updateWindow();
    index_ = 0;
    counterColumn_ = 0;
    counterRow_ = 0;
    updateCursor();
}

void DisplayModule::onBacklight(const GpioPort& c) {
    const bool on = (c.pinLevels() & kBacklightPin) != 0;
    if (on != backlight_) {
        backlight_ = on;
        ++version_;
    }
}

// Inline into the port's watcher: it runs on every store to the control lines, two a pixel. Half
// of them (WR falling) only leave their levels here, so every call from it is a tail call.
[[gnu::always_inline]] inline void DisplayModule::onControlPins(const GpioPort& f) {
    // Only RD, WR and RS matter here; while the port drives them they are its latch.
    constexpr uint8_t kBusPins = kRdPin | kWrPin | kRsPin;
    if ((f.drivenPins() & kBusPins) != kBusPins) [[unlikely]] {
        onControlPinsNotDriven(f);
        return;
    }
    onControlLevels(f.outputLatch());
}

void DisplayModule::onControlPinsNotDriven(const GpioPort& f) {
    onControlLevels(f.pinLevels());
}

[[gnu::always_inline]] inline void DisplayModule::onControlLevels(uint8_t levels) {
    const uint8_t was = controlLevels_;
    controlLevels_ = levels;
    const auto rose = static_cast<uint8_t>(levels & ~was);
    // Nearly every word is a pixel along the window row: taken here, without a call (the
    // identification cannot be read then, the memory register being the one selected).
    if ((rose & kWrPin) != 0 && (levels & kRsPin) != 0 && index_ == kRegMemory &&
        cursorLeft_ != 0 && !resetLow_) [[likely]] {
        // What writePixel does for a pixel inside the window row and the memory.
        ++strobes_;
        gram_[static_cast<size_t>(cursorCell_)] = Pair(a_.pinLevels(), b_.pinLevels());
        cursorCell_ += cursorStep_;
        --cursorLeft_;
        ++counterColumn_;
        ++pixelsWritten_;
        ++*runPixels_;
        ++version_;
        return;
    }
    // Something happens only when RD falls (a read) or WR rises (a word is taken).
    if ((((was & ~levels) & kRdPin) | (rose & kWrPin)) != 0) {
        onEdge(was, levels);
    }
}

void DisplayModule::onEdge(uint8_t was, uint8_t levels) {
    // A read of the identification: RD falls while the data lines are released to the module.
    if ((was & ~levels & kRdPin) != 0 && index_ == kRegId && a_.drivenPins() == 0 &&
        b_.drivenPins() == 0) [[unlikely]] {
        ++idReads_;
    }
    if ((levels & ~was & kWrPin) == 0 || resetLow_) {
        return;
    }
    ++strobes_;
    // A pixel along the window row never gets here (onControlLevels takes it).
    latch(Pair(a_.pinLevels(), b_.pinLevels()), (levels & kRsPin) != 0);
}

void DisplayModule::latch(uint16_t word, bool data) {
    if (!data) {
        index_ = static_cast<uint8_t>(word);
        if (tap_) {
            tap_(Latched{word, false, index_, -1});
        }
        if (index_ == kRegMemory) {
            if (memoryRuns_.size() < kLogLimit) {
                memoryRuns_.push_back(MemoryRun{registerWrites_.size(), 0, nowMs()});
                runPixels_ = &memoryRuns_.back().pixels;
            } else {
                ++logDropped_;
                runPixels_ = &unloggedRunPixels_;
            }
        }
        return;
    }
    if (index_ == kRegMemory) {
        writePixel(word);
    } else {
        if (tap_) {
            tap_(Latched{word, true, index_, -1});
        }
        writeRegister(index_, static_cast<uint8_t>(word));
    }
}

void DisplayModule::writeRegister(uint8_t index, uint8_t value) {
    if (registerWrites_.size() < kLogLimit) {
        registerWrites_.push_back(RegisterWrite{index, value, nowMs()});
    } else {
        ++logDropped_;
    }
    registers_[index] = value;
    if (index >= kRegColumnStartHigh && index <= kRegRowEndLow) {
        updateWindow();
    }
    // The start registers also place the address counter.
    if (index == kRegColumnStartHigh || index == kRegColumnStartLow) {
        counterColumn_ = Pair(registers_[kRegColumnStartHigh], registers_[kRegColumnStartLow]);
    } else if (index == kRegRowStartHigh || index == kRegRowStartLow) {
        counterRow_ = Pair(registers_[kRegRowStartHigh], registers_[kRegRowStartLow]);
    }
    updateCursor();
}

void DisplayModule::updateCursor() {
    cursorLeft_ = 0;
    const Window& w = window_;
    const int column = counterColumn_;
    const int row = counterRow_;
    if (tap_ || column < w.xmin || column >= w.xmax || row < w.ymin || row > w.ymax) {
        return;  // tapped, outside the window, or at the row's end, where the counter wraps
    }
    // The counter's column runs along a memory row, or down a memory column when exchanged.
    const uint8_t mode = registers_[kRegMemoryAccess];
    const bool exchange = (mode & kExchange) != 0;
    const int along = exchange ? kRows : kColumns;  // the counter column's limit in memory
    const int across = exchange ? kColumns : kRows;
    if (row >= across || column >= along) {
        return;
    }
    int memoryColumn = exchange ? row : column;
    int memoryRow = exchange ? column : row;
    int step = exchange ? kColumns : 1;
    if ((mode & kMirrorColumns) != 0) {
        memoryColumn = kColumns - 1 - memoryColumn;
        step = exchange ? step : -step;
    }
    if ((mode & kMirrorRows) != 0) {
        memoryRow = kRows - 1 - memoryRow;
        step = exchange ? -step : step;
    }
    cursorCell_ = static_cast<int32_t>(Cell(memoryColumn, memoryRow));
    cursorStep_ = step;
    // Up to the row's last column (which wraps) and within the memory.
    cursorLeft_ = static_cast<uint32_t>(std::min<int>(w.xmax, along) - column);
}

void DisplayModule::writePixel(uint16_t value) {
    ++pixelsWritten_;
    ++*runPixels_;
    const Window& w = window_;
    if (counterColumn_ < w.xmin || counterColumn_ > w.xmax || counterRow_ < w.ymin ||
        counterRow_ > w.ymax) {
        ++pixelsOutsideWindow_;
    }

    // Logical (column, row) as the window addresses it, to the controller's own layout.
    const uint8_t mode = registers_[kRegMemoryAccess];
    int column = counterColumn_;
    int row = counterRow_;
    if ((mode & kExchange) != 0) {
        std::swap(column, row);
    }
    if (column >= kColumns || row >= kRows) {
        ++pixelsOutside_;
        if (tap_) {
            tap_(Latched{value, true, kRegMemory, -1});
        }
    } else {
        if ((mode & kMirrorColumns) != 0) {
            column = kColumns - 1 - column;
        }
        if ((mode & kMirrorRows) != 0) {
            row = kRows - 1 - row;
        }
        gram_[Cell(column, row)] = value;
        ++version_;
        if (tap_) {
            tap_(Latched{value, true, kRegMemory, static_cast<int32_t>(Cell(column, row))});
        }
    }

    // Along the window's row, wrapping to the next row of the window, and to its top.
    if (counterColumn_ >= w.xmax) {
        counterColumn_ = w.xmin;
        counterRow_ = counterRow_ >= w.ymax ? w.ymin : static_cast<uint16_t>(counterRow_ + 1);
    } else {
        ++counterColumn_;
    }
    updateCursor();
}

uint16_t DisplayModule::screenNative(int x, int y) const {
    return gram_[Cell(kColumns - 1 - y, x)];
}

uint32_t DisplayModule::screenRgb(int x, int y) const {
    const uint32_t v = screenNative(x, y);
    const uint32_t blue = v >> 11;
    const uint32_t green = (v >> 5) & 0x3F;
    const uint32_t red = v & 0x1F;
    const uint32_t r = (red << 3) | (red >> 2);
    const uint32_t g = (green << 2) | (green >> 4);
    const uint32_t b = (blue << 3) | (blue >> 2);
    return (r << 16) | (g << 8) | b;
}

std::vector<uint8_t> DisplayModule::renderRgb() const {
    std::vector<uint8_t> rgb(static_cast<size_t>(kScreenWidth) * kScreenHeight * 3, 0);
    if (!backlight_) {
        return rgb;
    }
    size_t i = 0;
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) {
            const uint32_t c = screenRgb(x, y);
            rgb[i++] = static_cast<uint8_t>(c >> 16);
            rgb[i++] = static_cast<uint8_t>(c >> 8);
            rgb[i++] = static_cast<uint8_t>(c);
        }
    }
    return rgb;
}

bool DisplayModule::savePng(const std::string& path, std::string* error) const {
    pngio::RgbImage image;
    image.width = kScreenWidth;
    image.height = kScreenHeight;
    image.pixels.resize(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0);
    if (backlight_) {
        for (int y = 0; y < kScreenHeight; ++y) {
            for (int x = 0; x < kScreenWidth; ++x) {
                image.at(x, y) = screenRgb(x, y);
            }
        }
    }
    std::string why;
    if (!pngio::Write(path, image, why)) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    return true;
}

}  // namespace sim
