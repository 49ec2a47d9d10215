// UART1's line taken to the host: a serial device (a bench's adapter) or a pseudo-terminal whose
// other end a program on the host opens. While the bridge is plugged in, virtual time is paced
// to real time, so that the real peer sees the panel's timing (the 200 ms answer time-out, the
// 100 ms cycle) as it is.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "scheduler.hpp"
#include "serial_line.hpp"

namespace sim {

class SerialBridge : public SerialPeer {
  public:
    // A host serial device set to the format (raw, no flow control).
    static std::unique_ptr<SerialBridge> OpenDevice(Scheduler& scheduler, const std::string& path,
                                                    const LineFormat& format, std::string* error);
    // A new pseudo-terminal; the peer opens peerPath().
    static std::unique_ptr<SerialBridge> OpenPseudoTerminal(Scheduler& scheduler,
                                                            const LineFormat& format,
                                                            std::string* error);
    ~SerialBridge() override;
    SerialBridge(const SerialBridge&) = delete;
    SerialBridge& operator=(const SerialBridge&) = delete;

    // The device path, or the pseudo-terminal's end for the peer.
    const std::string& peerPath() const { return peerPath_; }

    LineFormat lineFormat() const override { return format_; }
    void attached(SerialPort* port) override;
    void receiveFromPanel(uint8_t byte) override;

    uint64_t bytesToPeer() const { return toPeer_; }
    uint64_t bytesFromPeer() const { return fromPeer_; }
    // Bytes the host side refused (no peer has the pseudo-terminal open, a full buffer).
    uint64_t bytesDropped() const { return dropped_; }

  private:
    SerialBridge(Scheduler& scheduler, int fd, const LineFormat& format, std::string peerPath);
    void tick();
    void pace();

    Scheduler& scheduler_;
    int fd_;
    LineFormat format_;
    std::string peerPath_;
    LineTransmitter transmitter_;
    bool plugged_ = false;
    EventId tickEvent_ = 0;
    bool anchored_ = false;
    std::chrono::steady_clock::time_point wallAnchor_;
    Picoseconds virtualAnchor_ = 0;
    uint64_t toPeer_ = 0, fromPeer_ = 0, dropped_ = 0;
};

}  // namespace sim
