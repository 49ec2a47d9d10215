// A logic analyzer on the board's pins: a value change dump with one one-bit wire per pin, named
// by port, pin and function (PB0_DB0, PF1_WR, ...), timestamps in virtual nanoseconds.
//
// A GPIO pin shows what its port drives, or z when the port does not drive it. The pins given to
// a peripheral show that peripheral's output: UART1's transmit and receive lines bit by bit
// (start, data, parity, stop) at the line's baud rate and frame, the speaker's pin the PWM of
// timer 2 half A. ADC0_CONV is high while a timer-triggered conversion runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.hpp"
#include "device.hpp"
#include "vcd_writer.hpp"

namespace sim {
class GpTimer;
}

namespace sim::trace {

// Groups of wires, chosen on the command line by name.
enum Group : unsigned {
    kDisplay = 1u << 0,    // the display bus: D0-D15, RD, WR, RS, RESET
    kBacklight = 1u << 1,  // PC6
    kUart = 1u << 2,       // UART1's RX and TX
    kSpeaker = 1u << 3,    // PC7, the PWM
    kTouch = 1u << 4,      // the X and Y plates' drive pins
    kAdc = 1u << 5,        // the timer-triggered conversions
    kAllGroups = (1u << 6) - 1,
};
// "display,uart" as a mask; nothing (and why) for an unknown or empty name.
std::optional<unsigned> ParseGroups(const std::string& list, std::string& why);
// The group names, comma-separated, for a usage text.
std::string GroupNames();

struct PinTraceOptions {
    unsigned groups = kAllGroups;
    VcdWriter::Window window;
};

class PinTrace : public Part {
  public:
    // What was written, for the end of a run.
    struct Summary {
        uint64_t bytes = 0;
        uint64_t changes = 0;
        uint64_t late = 0;  // serial bits that came later than the writer's lag allowed
        size_t mostQueued = 0;
        double virtualSeconds = 0;  // the part of the run inside the window
    };

    // Opens `path` and listens to the board's models from now on; null, and why, on failure.
    // The board keeps the trace alive; finish() ends the file.
    static PinTrace* Attach(Board& board, const std::string& path, const PinTraceOptions& options,
                            std::string* why);

    PinTrace(Board& board, std::FILE* file, const PinTraceOptions& options);
    ~PinTrace() override;
    PinTrace(const PinTrace&) = delete;
    PinTrace& operator=(const PinTrace&) = delete;

    // Writes what is still queued up to now and closes the file. Later changes are ignored.
    Summary finish();

  private:
    struct PinWire {
        uint8_t bit;
        int wire;
        char level;  // as last posted
    };
    // The pins of one port that show the port's own drive.
    struct PortWires {
        char port;
        std::vector<PinWire> pins;
    };

    Nanoseconds now() const;
    static char PortLevel(const GpioPort& port, uint8_t bit);
    void onPort(const GpioPort& port, PortWires& wires);
    void onSerialCharacter(bool fromPanel, uint8_t byte, uint64_t startPs, uint64_t bitPs,
                           uint8_t dataBits, char parity, uint8_t stopBits);
    void onTxPin(const GpioPort& d);
    void onSpeaker();
    void onConversion(bool converting);
    // A change now, after the speaker's edges up to now.
    void post(int wire, char value);
    // The speaker's PWM edges up to `until` (ps), in time order.
    void speakerEdgesUntil(uint64_t untilPs);
    void release(Nanoseconds time);

    Board& board_;
    std::FILE* file_;
    PinTraceOptions options_;
    VcdWriter writer_;
    bool finished_ = false;
    Nanoseconds lag_ = 0;  // how far back a received character's bits may be dated
    std::vector<std::unique_ptr<PortWires>> ports_;

    int rxWire_ = -1;
    int txWire_ = -1;
    char txPinLevel_ = 'z';  // PD3 apart from the characters' bits

    int speakerWire_ = -1;
    GpTimer* timer2_ = nullptr;
    char speakerLevel_ = 'z';  // as last posted
    struct Pwm {
        bool on = false;
        uint64_t originPs = 0;  // a period's start
        uint64_t periodPs = 0;
        uint64_t firstPs = 0;  // length of the period's first level
        char first = '0';
        char second = '1';
        uint64_t nextPs = 0;  // the next edge
        bool nextIsFirst = true;
        uint32_t periodClocks = 0, pulseClocks = 0;
        bool inverted = false;
    } pwm_;

    int adcWire_ = -1;
};

}  // namespace sim::trace
