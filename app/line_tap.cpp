#include "line_tap.hpp"

namespace app {

void LineTap::setPeer(sim::SerialPeer* peer) {
    if (attachedPeer_ != nullptr) {
        attachedPeer_->attached(nullptr);
        attachedPeer_ = nullptr;
    }
    peer_ = peer;
    if (port_ != nullptr && plugged()) {
        attachedPeer_ = peer_;
        attachedPeer_->attached(this);
    }
}

sim::LineFormat LineTap::lineFormat() const {
    return peer_ != nullptr ? peer_->lineFormat() : sim::LineFormat{};
}

void LineTap::attached(sim::SerialPort* port) {
    port_ = port;
    setPeer(peer_);
}

void LineTap::receiveFromPanel(uint8_t byte) {
    tell(Direction::ToModule, byte);
    if (attachedPeer_ != nullptr) {
        attachedPeer_->receiveFromPanel(byte);
    }
}

void LineTap::receiveFromPeer(uint8_t byte) {
    tell(Direction::ToPanel, byte);
    if (port_ != nullptr) {
        port_->receiveFromPeer(byte);
    }
}

void LineTap::tell(Direction direction, uint8_t byte) {
    const sim::Picoseconds now = scheduler_.nowPs();
    for (const Listener& listener : listeners_) {
        listener(direction, byte, now);
    }
}

}  // namespace app
