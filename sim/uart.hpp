// UART1: 16-byte FIFOs, interrupt levels, receive time-out, characters timed at the configured
// baud rate and frame format. Its line goes to a SerialPeer (the remote module model by default);
// characters reach the line only through pins the port gives to the UART (port D 2 receive,
// 3 transmit). A configuration the peer's side of the line cannot carry is recorded as a line
// error and its characters arrive garbled.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device.hpp"
#include "gpio.hpp"
#include "nvic.hpp"
#include "scheduler.hpp"
#include "serial_line.hpp"

namespace sim {

class Board;

// The UART's registers, offsets from its base, each followed by its fields.
namespace uart {
enum : uint32_t {
    DR = 0x000,
    DR_FE = 1u << 8,  // framing error, beside a received character
    RSR = 0x004,      // read: receive status; write: clear it
    RSR_OE = 1u << 3,
    FR = 0x018,
    FR_BUSY = 1u << 3,
    FR_RXFE = 1u << 4,
    FR_TXFF = 1u << 5,
    FR_RXFF = 1u << 6,
    FR_TXFE = 1u << 7,
    IBRD = 0x024,
    IBRD_MASK = 0xFFFF,
    FBRD = 0x028,
    FBRD_MASK = 0x3F,
    LCRH = 0x02C,
    LCRH_PEN = 1u << 1,
    LCRH_EPS = 1u << 2,
    LCRH_STP2 = 1u << 3,
    LCRH_FEN = 1u << 4,
    LCRH_WLEN_SHIFT = 5,
    LCRH_SPS = 1u << 7,
    LCRH_MASK = 0xFF,
    CTL = 0x030,
    CTL_UARTEN = 1u << 0,
    CTL_TXE = 1u << 8,
    CTL_RXE = 1u << 9,
    CTL_MASK = 0x3FF,
    CTL_RESET = CTL_TXE | CTL_RXE,
    IFLS = 0x034,
    IFLS_MASK = 0x3F,
    IFLS_RESET = 0x12,  // both levels at one half
    IM = 0x038,         // IM, RIS, MIS and ICR share these bits
    INT_RX = 1u << 4,
    INT_TX = 1u << 5,
    INT_RT = 1u << 6,
    INT_FE = 1u << 7,
    INT_OE = 1u << 10,
    INT_MASK = 0x7F0,
    RIS = 0x03C,
    MIS = 0x040,
    ICR = 0x044,
};
inline constexpr Register kRegisters[] = {
    {DR, "DR"},
    {RSR, "RSR"},
    {FR, "FR", Access::ReadOnly},
    {IBRD, "IBRD"},
    {FBRD, "FBRD"},
    {LCRH, "LCRH"},
    {CTL, "CTL"},
    {IFLS, "IFLS"},
    {IM, "IM"},
    {RIS, "RIS", Access::ReadOnly},
    {MIS, "MIS", Access::ReadOnly},
    {ICR, "ICR", Access::WriteOnly},
};
}  // namespace uart

class Uart : public Device, public SerialPort {
  public:
    static constexpr uint32_t kBase = 0x4000D000;
    static constexpr uint32_t kIrq = 6;
    static constexpr size_t kFifoDepth = 16;

    Uart(Scheduler& scheduler, Nvic& nvic, GpioPort& pins);
    ~Uart() override;

    std::string name() const override { return "UART1"; }
    RegisterTable registers() const override { return uart::kRegisters; }
    uint32_t read(uint32_t offset, unsigned size) override;
    uint32_t peek(uint32_t offset, unsigned size) override;  // DR without popping the FIFO
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    // The line: connect a peer the caller keeps alive, or plug in one the UART keeps.
    void connect(SerialPeer* peer);
    void plug(std::unique_ptr<SerialPeer> peer);
    void unplug() { connect(nullptr); }
    SerialPeer* peer() const { return peer_; }
    // The peer handed over with plug(), even while another is connected.
    SerialPeer* pluggedPeer() const { return plugged_.get(); }

    void receiveFromPeer(uint8_t byte) override;

    // Each character on the line, for a trace of its bits: which way it went, the time its start
    // bit began (for a received one, a character time before it arrived whole) and its bit time.
    struct LineCharacter {
        bool fromPanel;
        uint8_t byte;
        Picoseconds start;
        Picoseconds bitTime;
        LineFormat format;
    };
    void addLineListener(std::function<void(const LineCharacter&)> listener) {
        lineListeners_.push_back(std::move(listener));
    }

    // What the firmware configured, and whether it is running.
    bool enabled() const;
    double configuredBaud() const;
    LineFormat configuredFormat() const;
    bool fifosEnabled() const { return (lcrh_ & uart::LCRH_FEN) != 0; }
    uint32_t interruptMask() const { return im_; }
    uint32_t rawStatus() const { return ris_; }

    struct LineError {
        double timeMs;
        std::string what;
    };
    const std::vector<LineError>& lineErrors() const { return lineErrors_; }

    // Traffic counters.
    uint64_t charactersSent() const { return sent_; }
    uint64_t charactersReceived() const { return received_; }
    uint64_t receiveOverruns() const { return overruns_; }
    // Characters that never reached the line (pins not given to the UART, nothing plugged in,
    // written into a full FIFO); each is also a board warning.
    uint64_t charactersLost() const { return lost_; }

  private:
    size_t fifoDepth() const { return fifosEnabled() ? kFifoDepth : 1; }
    size_t txLevel() const;
    size_t rxLevel() const;
    bool transmitterOn() const;
    bool receiverOn() const;
    bool pinGiven(uint8_t pin) const;
    // Empty when the peer's side can carry this UART's configuration, else why not.
    std::string mismatch() const;
    void lineError(const std::string& what);
    // Counts a character that is lost and reports it to the board.
    void drop(uint8_t byte, const char* why, bool overrun = false);

    void startTransmit();
    void finishTransmit();
    void popReceived();
    void restartReceiveTimeout();
    void setStatus(uint32_t bits) {
        ris_ |= bits;
        updateLine();
    }
    void clearStatus(uint32_t bits) {
        ris_ &= ~bits;
        updateLine();
    }
    void updateLine();
    void tellLineListeners(const LineCharacter& character) const {
        for (const auto& listener : lineListeners_) {
            listener(character);
        }
    }

    Scheduler& scheduler_;
    Nvic& nvic_;
    GpioPort& pins_;
    SerialPeer* peer_ = nullptr;
    std::unique_ptr<SerialPeer> plugged_;

    uint32_t ibrd_ = 0, fbrd_ = 0;  // as written
    uint32_t divisor_ = 0;          // latched by an LCRH write, in 1/64
    uint32_t lcrh_ = 0, ctl_ = uart::CTL_RESET;
    uint32_t ifls_ = uart::IFLS_RESET;
    uint32_t im_ = 0, ris_ = 0, rsr_ = 0;

    std::deque<uint8_t> txFifo_;
    bool shifting_ = false;
    uint8_t shiftByte_ = 0;
    EventId txEvent_ = 0;
    std::deque<uint16_t> rxFifo_;  // data with error flags in bits 11-8
    EventId rtEvent_ = 0;

    std::vector<std::function<void(const LineCharacter&)>> lineListeners_;
    std::string lastMismatch_;
    std::vector<LineError> lineErrors_;
    uint64_t sent_ = 0, received_ = 0, overruns_ = 0, lost_ = 0;
};

// The board's UART1 model and the remote module plugged into it.
Uart& Uart1(Board& board);
class RemoteModule;
RemoteModule& RemoteModuleOf(Board& board);

}  // namespace sim
