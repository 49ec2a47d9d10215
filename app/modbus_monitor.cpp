#include "modbus_monitor.hpp"

#include <algorithm>

#include "remote_module.hpp"

namespace app {

namespace {

uint16_t Word(const std::vector<uint8_t>& frame, size_t at) {
    return static_cast<uint16_t>((frame[at] << 8) | frame[at + 1]);
}

bool CrcGood(const std::vector<uint8_t>& frame) {
    return frame.size() >= 4 &&
           sim::ModbusCrc(frame.data(), frame.size() - 2) ==
               (frame[frame.size() - 2] | (frame[frame.size() - 1] << 8));
}

const char* ExceptionName(uint8_t code) {
    switch (code) {
        case 1:
            return "illegal function";
        case 2:
            return "illegal data address";
        case 3:
            return "illegal data value";
        case 4:
            return "slave device failure";
        default:
            return "unknown code";
    }
}

double Ms(sim::Picoseconds ps) {
    return static_cast<double>(ps) / static_cast<double>(sim::kPsPerMs);
}

}  // namespace

ModbusMonitor::ModbusMonitor(sim::Scheduler& scheduler, LineTap& tap) : scheduler_(scheduler) {
    tap.listen([this, &tap](Direction direction, uint8_t value, sim::Picoseconds at) {
        if (!frame_.empty() && direction != frameDirection_) {
            // The other side started talking: whatever came before is a frame of its own.
            scheduler_.cancel(silenceEvent_);
            endOfFrame();
        }
        const sim::LineFormat format = tap.lineFormat();
        const sim::Picoseconds silence =
            format.baud > 19200 ? 1750 * sim::kPsPerUs : format.characterTime() * 7 / 2;
        byte(direction, value, at);
        if (silenceEvent_ != 0) {
            scheduler_.cancel(silenceEvent_);
        }
        silenceEvent_ = scheduler_.after(scheduler_.cyclesFor(silence), [this] {
            silenceEvent_ = 0;
            endOfFrame();
        });
    });
}

ModbusMonitor::~ModbusMonitor() {
    if (silenceEvent_ != 0) {
        scheduler_.cancel(silenceEvent_);
    }
    if (timeoutEvent_ != 0) {
        scheduler_.cancel(timeoutEvent_);
    }
}

void ModbusMonitor::byte(Direction direction, uint8_t value, sim::Picoseconds at) {
    if (frame_.empty() && direction == Direction::ToPanel) {
        frameLate_ = timedOut_;
    }
    if (frame_.empty() && direction == Direction::ToPanel && awaiting_) {
        // An answer is starting: it is no longer missing.
        awaiting_ = false;
        if (timeoutEvent_ != 0) {
            scheduler_.cancel(timeoutEvent_);
            timeoutEvent_ = 0;
        }
    }
    frameDirection_ = direction;
    frame_.push_back(value);
    frameEndPs_ = at;
}

void ModbusMonitor::endOfFrame() {
    silenceEvent_ = 0;
    std::vector<uint8_t> frame;
    frame.swap(frame_);
    if (frame.empty()) {
        return;
    }
    const double ms = Ms(frameEndPs_);
    const bool crcGood = CrcGood(frame);
    const char* verdict = "good";
    if (frameDirection_ == Direction::ToModule) {
        if (awaiting_) {
            // The panel asks again before the time-out ran out: the last exchange had no answer.
            awaiting_ = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++counters_.timeouts;
            }
            emit(ms, "module>panel", "-", "no answer before the next request", "timeout");
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++counters_.requests;
        }
        answered_ = false;
        if (!crcGood) {
            verdict = "CRC error";
        }
        request_ = frame;
        awaiting_ = true;
        timedOut_ = false;
        if (timeoutEvent_ != 0) {
            scheduler_.cancel(timeoutEvent_);
        }
        timeoutEvent_ = scheduler_.after(
            scheduler_.cyclesFor(static_cast<sim::Picoseconds>(kAnswerTimeoutMs * sim::kPsPerMs)),
            [this] {
                timeoutEvent_ = 0;
                answerTimedOut();
            });
        emit(ms, "panel>module", Hex(frame), Decode(frame, true), verdict);
        return;
    }
    uint64_t ModbusCounters::*counter = &ModbusCounters::good;
    const bool late = frameLate_;
    const bool answers = !request_.empty() && !answered_;  // the first frame after the request
    timedOut_ = false;
    answered_ = true;
    if (!crcGood) {
        verdict = "CRC error";
        counter = &ModbusCounters::crcErrors;
    } else if (!answers) {
        verdict = "unasked";
    } else if (late) {
        verdict = "late";
        counter = &ModbusCounters::late;
    } else if (frame[0] != request_[0]) {
        verdict = "wrong slave";
        counter = &ModbusCounters::otherErrors;
    } else if (frame[1] == (request_[1] | 0x80)) {
        verdict = "exception";
        counter = &ModbusCounters::exceptions;
    } else if (frame[1] != request_[1]) {
        verdict = "wrong function";
        counter = &ModbusCounters::otherErrors;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!answers) {
            ++counters_.unasked;
        } else {
            if (late) {
                --counters_.timeouts;  // the exchange was counted as one when the time-out passed
            }
            ++(counters_.*counter);
        }
    }
    emit(ms, "module>panel", Hex(frame), Decode(frame, false), verdict);
}

void ModbusMonitor::answerTimedOut() {
    if (!awaiting_) {
        return;
    }
    awaiting_ = false;
    timedOut_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counters_.timeouts;
    }
    char meaning[80];
    std::snprintf(meaning, sizeof(meaning), "no answer within %.0f ms", kAnswerTimeoutMs);
    emit(scheduler_.nowMs(), "module>panel", "-", meaning, "timeout");
}

void ModbusMonitor::emit(double ms, const char* direction, const std::string& hex,
                         const std::string& meaning, const char* verdict) {
    char head[48];
    std::snprintf(head, sizeof(head), "%12.3f ms  %s  ", ms, direction);
    std::string line = head + hex + "  | " + meaning + " | " + verdict;
    if (out_ != nullptr) {
        std::fprintf(out_, "%s\n", line.c_str());
        std::fflush(out_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
    ++lineCount_;
    if (!keepAll_ && lines_.size() > kKeptLines) {
        lines_.pop_front();
    }
}

uint64_t ModbusMonitor::linesAfter(uint64_t after, std::vector<std::string>& lines) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t first = lineCount_ - lines_.size();  // number of lines_[0], less one
    for (uint64_t n = std::max(after, first); n < lineCount_; ++n) {
        lines.push_back(lines_[n - first]);
    }
    return lineCount_;
}

ModbusCounters ModbusMonitor::counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

std::string ModbusMonitor::Hex(const std::vector<uint8_t>& frame) {
    std::string hex;
    char byte[4];
    for (size_t i = 0; i < frame.size(); ++i) {
        std::snprintf(byte, sizeof(byte), i == 0 ? "%02X" : " %02X", frame[i]);
        hex += byte;
    }
    return hex;
}

std::string ModbusMonitor::Decode(const std::vector<uint8_t>& frame, bool fromPanel) {
    if (frame.size() < 4) {
        return "too short for a frame";
    }
    const size_t body = frame.size() - 2;  // without the CRC
    const uint8_t function = frame[1];
    char text[120];
    std::string meaning;
    std::snprintf(text, sizeof(text), "slave %u: ", frame[0]);
    meaning = text;
    if ((function & 0x80) != 0 && body == 3) {
        std::snprintf(text, sizeof(text), "exception %u (%s) to function %u", frame[2],
                      ExceptionName(frame[2]), function & 0x7Fu);
        return meaning + text;
    }
    const auto values = [&frame](size_t from, size_t count) {
        std::string list;
        char value[8];
        for (size_t i = 0; i < count; ++i) {
            std::snprintf(value, sizeof(value), " %u", Word(frame, from + 2 * i));
            list += value;
        }
        return list;
    };
    if (function == 3 && fromPanel && body == 6) {
        const unsigned first = Word(frame, 2);
        const unsigned count = Word(frame, 4);
        std::snprintf(text, sizeof(text), "read holding %u-%u (%u)", first, first + count - 1,
                      count);
    } else if (function == 3 && !fromPanel && body >= 3 && body == 3u + frame[2] &&
               frame[2] % 2 == 0) {
        std::snprintf(text, sizeof(text), "%u registers:", frame[2] / 2u);
        return meaning + text + values(3, frame[2] / 2u);
    } else if (function == 6 && body == 6) {
        std::snprintf(text, sizeof(text), "%s %u = %u", fromPanel ? "write" : "wrote",
                      Word(frame, 2), Word(frame, 4));
    } else if (function == 16 && fromPanel && body >= 7 && body == 7u + frame[6]) {
        const unsigned first = Word(frame, 2);
        std::snprintf(text, sizeof(text), "write %u-%u:", first, first + frame[6] / 2u - 1);
        return meaning + text + values(7, frame[6] / 2u);
    } else if (function == 16 && !fromPanel && body == 6) {
        const unsigned first = Word(frame, 2);
        std::snprintf(text, sizeof(text), "wrote %u-%u (%u)", first,
                      first + Word(frame, 4) - 1, Word(frame, 4));
    } else {
        std::snprintf(text, sizeof(text), "function %u, %zu bytes, not understood", function,
                      frame.size());
    }
    return meaning + text;
}

}  // namespace app
