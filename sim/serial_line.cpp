#include "serial_line.hpp"

#include <cstdio>

namespace sim {

Picoseconds LineFormat::bitTime() const {
    return (1'000'000'000'000ull + baud / 2) / baud;
}

std::string LineFormat::describe() const {
    char text[32];
    std::snprintf(text, sizeof(text), "%u %u%c%u", baud, dataBits, parity, stopBits);
    return text;
}

void LineTransmitter::send(const uint8_t* data, size_t length, Picoseconds characterTime) {
    const bool wasIdle = queue_.empty();
    for (size_t i = 0; i < length; ++i) {
        queue_.emplace_back(data[i], characterTime);
    }
    if (wasIdle && !queue_.empty()) {
        startNext();
    }
}

void LineTransmitter::cancel() {
    if (event_ != 0) {
        scheduler_.cancel(event_);
        event_ = 0;
    }
    queue_.clear();
}

void LineTransmitter::startNext() {
    const Picoseconds duration = queue_.front().second;
    event_ = scheduler_.after(scheduler_.cyclesFor(duration), [this] {
        event_ = 0;
        const uint8_t byte = queue_.front().first;
        queue_.pop_front();
        if (port_ != nullptr) {
            port_->receiveFromPeer(byte);
        }
        if (!queue_.empty()) {
            startNext();
        }
    });
}

}  // namespace sim
