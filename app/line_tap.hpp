// A tap on UART1's line: sits between the UART and whatever is plugged in (the module model or a
// bridge to a host device), passes every character through unchanged, and tells its listeners
// about each one with its virtual time. Pulling the plug here leaves the UART's own state alone:
// the panel keeps sending into a line with nothing at the other end.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "scheduler.hpp"
#include "serial_line.hpp"

namespace app {

enum class Direction { ToModule, ToPanel };

class LineTap : public sim::SerialPeer, private sim::SerialPort {
  public:
    using Listener = std::function<void(Direction, uint8_t, sim::Picoseconds)>;

    explicit LineTap(sim::Scheduler& scheduler) : scheduler_(scheduler) {}

    // The peer behind the tap (nullptr: nothing plugged in).
    void setPeer(sim::SerialPeer* peer);
    sim::SerialPeer* peer() const { return peer_; }
    void unplug() { plugged_ = false, setPeer(peer_); }
    void plugBack() { plugged_ = true, setPeer(peer_); }
    bool plugged() const { return plugged_ && peer_ != nullptr; }

    void listen(Listener listener) { listeners_.push_back(std::move(listener)); }

    // A character from the far side, as if the peer had sent it now.
    void injectToPanel(uint8_t byte) { receiveFromPeer(byte); }

    sim::LineFormat lineFormat() const override;
    void attached(sim::SerialPort* port) override;
    void receiveFromPanel(uint8_t byte) override;

  private:
    void receiveFromPeer(uint8_t byte) override;
    void tell(Direction direction, uint8_t byte);

    sim::Scheduler& scheduler_;
    sim::SerialPort* port_ = nullptr;  // the UART
    sim::SerialPeer* peer_ = nullptr;
    sim::SerialPeer* attachedPeer_ = nullptr;
    bool plugged_ = true;
    std::vector<Listener> listeners_;
};

}  // namespace app
