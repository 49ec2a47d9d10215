// UART1: 16-byte FIFOs, interrupt levels, receive time-out, characters timed at the configured
// baud rate and frame format. Its line goes to a SerialPeer (the remote module model by default);
// characters reach the line only through pins the port gives to the UART (port D 2 receive,
// 3 transmit). A configuration the peer's side of the line cannot carry is recorded as a line
// error and its characters arrive garbled.
#pragma once

#include <cstdint>
#include <deque>
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

class Uart : public Device, public SerialPort {
  public:
    static constexpr uint32_t kBase = 0x4000D000;
    static constexpr uint32_t kIrq = 6;
    static constexpr size_t kFifoDepth = 16;

    Uart(Scheduler& scheduler, Nvic& nvic, GpioPort& pins);
    ~Uart() override;

    std::string name() const override { return "UART1"; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    // The line: connect a peer the caller keeps alive, or plug in one the UART keeps.
    void connect(SerialPeer* peer);
    void plug(std::unique_ptr<SerialPeer> peer);
    void unplug() { connect(nullptr); }
    SerialPeer* peer() const { return peer_; }
    // The peer handed over with plug(), even while another is connected.
    SerialPeer* pluggedPeer() const { return plugged_.get(); }

    void receiveFromPeer(uint8_t byte) override;

    // What the firmware configured, and whether it is running.
    bool enabled() const;
    double configuredBaud() const;
    LineFormat configuredFormat() const;
    bool fifosEnabled() const { return (lcrh_ & kLcrhFen) != 0; }
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
    // Characters that never reached the line (pins not given to the UART, nothing plugged in).
    uint64_t charactersLost() const { return lost_; }

  private:
    static constexpr uint32_t kLcrhPen = 1u << 1;
    static constexpr uint32_t kLcrhEps = 1u << 2;
    static constexpr uint32_t kLcrhStp2 = 1u << 3;
    static constexpr uint32_t kLcrhFen = 1u << 4;
    static constexpr uint32_t kLcrhSps = 1u << 7;
    static constexpr uint32_t kIntRx = 1u << 4;
    static constexpr uint32_t kIntTx = 1u << 5;
    static constexpr uint32_t kIntRt = 1u << 6;
    static constexpr uint32_t kIntFe = 1u << 7;
    static constexpr uint32_t kIntOe = 1u << 10;

    size_t fifoDepth() const { return fifosEnabled() ? kFifoDepth : 1; }
    size_t txLevel() const;
    size_t rxLevel() const;
    bool transmitterOn() const;
    bool receiverOn() const;
    bool pinGiven(uint8_t pin) const;
    // Empty when the peer's side can carry this UART's configuration, else why not.
    std::string mismatch() const;
    void lineError(const std::string& what);

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

    Scheduler& scheduler_;
    Nvic& nvic_;
    GpioPort& pins_;
    SerialPeer* peer_ = nullptr;
    std::unique_ptr<SerialPeer> plugged_;

    uint32_t ibrd_ = 0, fbrd_ = 0;     // as written
    uint32_t divisor_ = 0;             // latched by an LCRH write, in 1/64
    uint32_t lcrh_ = 0, ctl_ = 0x300;  // reset: transmitter and receiver enabled, UART off
    uint32_t ifls_ = 0x12;             // reset: both levels at one half
    uint32_t im_ = 0, ris_ = 0, rsr_ = 0;

    std::deque<uint8_t> txFifo_;
    bool shifting_ = false;
    uint8_t shiftByte_ = 0;
    EventId txEvent_ = 0;
    std::deque<uint16_t> rxFifo_;  // data with error flags in bits 11-8
    EventId rtEvent_ = 0;

    std::string lastMismatch_;
    std::vector<LineError> lineErrors_;
    uint64_t sent_ = 0, received_ = 0, overruns_ = 0, lost_ = 0;
};

// The board's UART1 model and the remote module plugged into it.
Uart& Uart1(Board& board);
class RemoteModule;
RemoteModule& RemoteModuleOf(Board& board);

}  // namespace sim
