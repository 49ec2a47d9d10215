// Test support: a serial peer whose answers the test writes byte by byte. It collects each
// request frame (ended by 1.75 ms of silence) and answers with whatever the script returns.
#pragma once

#include <functional>
#include <vector>

#include "board.hpp"
#include "remote_module.hpp"
#include "serial_line.hpp"
#include "uart.hpp"

class ScriptedPeer : public sim::SerialPeer {
  public:
    using Script = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

    explicit ScriptedPeer(sim::Board& board, sim::LineFormat format = {})
        : board_(board), format_(format), transmitter_(board.scheduler()) {
        sim::Uart1(board).connect(this);
    }
    ~ScriptedPeer() override {
        if (sim::Uart1(board_).peer() == this) {
            sim::Uart1(board_).unplug();
        }
    }

    void setScript(Script script) { script_ = std::move(script); }
    void setReplyDelay(sim::Picoseconds delay) { delay_ = delay; }
    // Sends bytes to the panel now, independent of any request.
    void send(const std::vector<uint8_t>& bytes) {
        transmitter_.send(bytes.data(), bytes.size(), format_.characterTime());
    }

    const std::vector<std::vector<uint8_t>>& requests() const { return requests_; }
    const std::vector<double>& requestTimes() const { return requestTimes_; }
    // Bytes received so far, frames not yet ended included.
    size_t bytesReceived() const { return bytes_; }

    sim::LineFormat lineFormat() const override { return format_; }
    void attached(sim::SerialPort* port) override { transmitter_.setPort(port); }
    void receiveFromPanel(uint8_t byte) override {
        ++bytes_;
        frame_.push_back(byte);
        auto& scheduler = board_.scheduler();
        if (silence_ != 0) {
            scheduler.cancel(silence_);
        }
        silence_ = scheduler.after(scheduler.cyclesFor(1750 * sim::kPsPerUs), [this] {
            silence_ = 0;
            requests_.push_back(frame_);
            requestTimes_.push_back(board_.nowMs());
            frame_.clear();
            if (!script_) {
                return;
            }
            std::vector<uint8_t> reply = script_(requests_.back());
            if (reply.empty()) {
                return;
            }
            auto& s = board_.scheduler();
            s.after(s.cyclesFor(delay_), [this, reply] { send(reply); });
        });
    }

  private:
    sim::Board& board_;
    sim::LineFormat format_;
    sim::LineTransmitter transmitter_;
    Script script_;
    sim::Picoseconds delay_ = sim::kPsPerMs;
    std::vector<uint8_t> frame_;
    sim::EventId silence_ = 0;
    std::vector<std::vector<uint8_t>> requests_;
    std::vector<double> requestTimes_;
    size_t bytes_ = 0;
};

// Appends the Modbus CRC (low byte first), computed by the slave side's own routine.
inline std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
    const uint16_t crc = sim::ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}
