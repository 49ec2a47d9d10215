// The display module: an HX8347-A or -G controller on a 16-bit parallel bus made of GPIO pins
// (D15-D8 port A, D7-D0 port B, RD/WR/RS port F pins 0-2, RESET port G pin 0), its 240 x 320
// graphics memory, and the backlight on port C pin 6.
//
// Words are latched on each rising edge of WR: an index when RS is 0, else data for the indexed
// register, or a pixel at the address counter when the index is 0x22. Register 0x16 sets the
// memory-access mode: bit 5 exchanges rows and columns, bit 6 mirrors columns, bit 7 mirrors
// rows. The landscape screen pixel (x, y) is controller column 239 - y, row x.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device.hpp"
#include "gpio.hpp"
#include "scheduler.hpp"

namespace sim {

enum class DisplayController { HX8347A, HX8347G };

class DisplayModule : public Part {
  public:
    static constexpr int kColumns = 240;  // the controller's own layout
    static constexpr int kRows = 320;
    static constexpr int kScreenWidth = 320;  // the landscape screen
    static constexpr int kScreenHeight = 240;
    static constexpr uint16_t kIdHX8347A = 0x0047;
    static constexpr uint16_t kIdHX8347G = 0x0075;
    static constexpr uint8_t kRegMemoryAccess = 0x16;  // its bits: see the top of this file
    // The control pins on port F.
    static constexpr uint8_t kRdPin = 0x01;
    static constexpr uint8_t kWrPin = 0x02;
    static constexpr uint8_t kRsPin = 0x04;

    DisplayModule(Scheduler& scheduler, GpioPort& a, GpioPort& b, GpioPort& c, GpioPort& f,
                  GpioPort& g, DisplayController controller);
    DisplayModule(const DisplayModule&) = delete;
    DisplayModule& operator=(const DisplayModule&) = delete;

    DisplayController controller() const { return controller_; }

    // --- The screen, as a viewer sees it. ---
    bool backlight() const { return backlight_; }
    // 0x00RRGGBB of landscape pixel (x, y) as the panel shows it when lit.
    uint32_t screenRgb(int x, int y) const;
    // The native word (blue high, 5-6-5) at landscape pixel (x, y).
    uint16_t screenNative(int x, int y) const;
    // 320 x 240 RGB, three bytes a pixel, rows top to bottom; all black while the backlight is
    // off.
    std::vector<uint8_t> renderRgb() const;
    // Writes renderRgb() as a PNG; false (and why in error) on failure.
    bool savePng(const std::string& path, std::string* error = nullptr) const;
    // Increases whenever the picture or the backlight changes (for a window to redraw).
    uint64_t version() const { return version_; }

    // --- The controller. ---
    uint8_t reg(uint8_t index) const { return registers_[index]; }
    uint8_t memoryAccess() const { return registers_[kRegMemoryAccess]; }
    struct Window {
        uint16_t xmin, xmax, ymin, ymax;
        bool operator==(const Window&) const = default;
    };
    Window window() const { return window_; }
    uint16_t counterColumn() const { return counterColumn_; }
    uint16_t counterRow() const { return counterRow_; }
    uint16_t memory(int column, int row) const { return gram_[Cell(column, row)]; }
    // Fills the graphics memory (a test preset, e.g. to spot pixels a fill leaves unwritten).
    void fillMemory(uint16_t value);

    // --- What happened on the bus. ---
    struct RegisterWrite {
        uint8_t index;
        uint8_t value;
        double timeMs;
    };
    // Register writes in order (pixel data excluded).
    const std::vector<RegisterWrite>& registerWrites() const { return registerWrites_; }
    // Runs of pixel writes: each index write of 0x22 starts one; position is the number of
    // register writes logged before it.
    struct MemoryRun {
        size_t position;
        uint32_t pixels;
        double timeMs;
    };
    const std::vector<MemoryRun>& memoryRuns() const { return memoryRuns_; }
    void clearLogs();
    // Each log keeps its first kLogLimit entries since the last clearLogs(); later ones are only
    // counted, so that a long run's memory stays flat.
    static constexpr size_t kLogLimit = 65536;
    uint64_t logEntriesDropped() const { return logDropped_; }

    // Every word as the controller takes it on a WR edge: an index (data false), a register
    // value, or a pixel with the graphics-memory cell it landed in (-1 when outside).
    struct Latched {
        uint16_t word;
        bool data;
        uint8_t index;  // the index register when the word was taken
        int32_t cell;   // row * kColumns + column for a pixel, else -1
    };
    // A tap for tests and tools; unset (the default) costs one test per word.
    void setWordTap(std::function<void(const Latched&)> tap) {
        tap_ = std::move(tap);
        updateCursor();  // a tapped pixel takes the general path, which calls the tap
    }

    uint64_t writeStrobes() const { return strobes_; }
    uint64_t pixelsWritten() const { return pixelsWritten_; }
    // Pixels whose address fell outside the graphics memory (dropped).
    uint64_t pixelsOutsideMemory() const { return pixelsOutside_; }
    // Pixels written with the address counter outside the window.
    uint64_t pixelsOutsideWindow() const { return pixelsOutsideWindow_; }
    uint32_t identificationReads() const { return idReads_; }
    uint32_t resets() const { return resets_; }

  private:
    static size_t Cell(int column, int row) {
        return static_cast<size_t>(row) * kColumns + static_cast<size_t>(column);
    }
    void onControlPins(const GpioPort& f);
    void onControlPinsNotDriven(const GpioPort& f);
    void onControlLevels(uint8_t levels);
    // RD fell or WR rose: a read, or a word taken.
    void onEdge(uint8_t was, uint8_t levels);
    void onReset(bool low);
    void onBacklight(const GpioPort& c);
    void latch(uint16_t word, bool data);
    void writeRegister(uint8_t index, uint8_t value);
    void writePixel(uint16_t value);
    // The window from its registers, kept in window_ (a pixel write reads it).
    void updateWindow();
    // Sets the cursor below from the counter, the window and the mode.
    void updateCursor();
    uint8_t readByte(bool high) const;
    double nowMs() const { return scheduler_.nowMs(); }

    Scheduler& scheduler_;
    GpioPort& a_;
    GpioPort& b_;
    GpioPort& f_;
    DisplayController controller_;
    std::array<uint8_t, 256> registers_{};
    Window window_{};
    std::vector<uint16_t> gram_;
    uint8_t index_ = 0;
    uint16_t counterColumn_ = 0;
    uint16_t counterRow_ = 0;
    // Where the next pixels go while the address counter walks along a window row inside the
    // memory: the cell, the step to the next, and how many may still go so (each one a store and
    // a few counts). At 0, which also stands for a word tap being set, the general path runs.
    int32_t cursorCell_ = 0;
    int32_t cursorStep_ = 0;
    uint32_t cursorLeft_ = 0;
    // Port F's RD, WR and RS as last seen: only an edge does anything.
    uint8_t controlLevels_ = kRdPin | kWrPin;
    bool resetLow_ = false;
    bool backlight_ = false;
    uint64_t version_ = 0;
    std::vector<RegisterWrite> registerWrites_;
    std::vector<MemoryRun> memoryRuns_;
    uint64_t logDropped_ = 0;
    // The pixel count of the run being logged, or of none (a run not logged).
    uint32_t* runPixels_ = &unloggedRunPixels_;
    uint32_t unloggedRunPixels_ = 0;
    std::function<void(const Latched&)> tap_;
    uint64_t strobes_ = 0;
    uint64_t pixelsWritten_ = 0;
    uint64_t pixelsOutside_ = 0;
    uint64_t pixelsOutsideWindow_ = 0;
    uint32_t idReads_ = 0;
    uint32_t resets_ = 0;
};

}  // namespace sim
