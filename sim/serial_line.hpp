// The serial line between the panel's UART1 and whatever is plugged into it: the remote module
// model, or a bridge to a host serial device. Characters travel whole: a side hands over a
// character when its stop bit has ended on the line.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "scheduler.hpp"

namespace sim {

struct LineFormat {
    uint32_t baud = 115200;
    uint8_t dataBits = 8;
    char parity = 'N';  // N, E, O, M (mark), S (space)
    uint8_t stopBits = 1;

    uint32_t bitsPerCharacter() const {
        return 1u + dataBits + (parity == 'N' ? 0u : 1u) + stopBits;
    }
    Picoseconds bitTime() const;
    Picoseconds characterTime() const { return bitTime() * bitsPerCharacter(); }
    std::string describe() const;  // "115200 8N1"
};

// The panel's end of the line, as a peer sees it.
class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // A whole character arrives from the peer now.
    virtual void receiveFromPeer(uint8_t byte) = 0;
};

// Whatever is plugged into the panel's serial port.
class SerialPeer {
  public:
    virtual ~SerialPeer() = default;
    // The format the peer's side of the line uses.
    virtual LineFormat lineFormat() const = 0;
    // Plugged in (port) or unplugged (nullptr).
    virtual void attached(SerialPort* port) = 0;
    // A whole character from the panel arrives now.
    virtual void receiveFromPanel(uint8_t byte) = 0;
};

// Sends characters to the panel back to back at the line's character time.
class LineTransmitter {
  public:
    explicit LineTransmitter(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~LineTransmitter() { cancel(); }
    LineTransmitter(const LineTransmitter&) = delete;
    LineTransmitter& operator=(const LineTransmitter&) = delete;

    void setPort(SerialPort* port) { port_ = port; }
    // Queues bytes; the first starts now (or after what is already queued).
    void send(const uint8_t* data, size_t length, Picoseconds characterTime);
    void cancel();
    bool idle() const { return queue_.empty(); }

  private:
    void startNext();

    Scheduler& scheduler_;
    SerialPort* port_ = nullptr;
    std::deque<std::pair<uint8_t, Picoseconds>> queue_;
    EventId event_ = 0;
};

}  // namespace sim
