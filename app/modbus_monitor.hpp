// The Modbus monitor: cuts the line's traffic into frames (3.5 characters of silence, 1.75 ms
// above 19200 baud), decodes each one and judges it: good, CRC error, exception, late (after the
// panel's answer time-out), wrong slave or function; a request left without an answer within the
// time-out gets a timeout line of its own. Lines go to a file (or standard output) as frames end
// on the line, and the last ones stay for the window and the web page. This is the one format of
// a Modbus log: --modbus-log and a script's modbus-log write the same lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "line_tap.hpp"
#include "scheduler.hpp"

namespace app {

// Each request is one exchange, counted once by how it ended: good, CRC error, time-out,
// exception, late (the answer came after the time-out: no longer a time-out) or other (wrong
// slave or function). All but the request still waiting add up to the requests. Frames from the
// module that answer no request (a second answer, noise after one) are counted apart.
struct ModbusCounters {
    uint64_t requests = 0;
    uint64_t good = 0;
    uint64_t crcErrors = 0;
    uint64_t timeouts = 0;
    uint64_t exceptions = 0;
    uint64_t late = 0;
    uint64_t otherErrors = 0;  // wrong slave or function
    uint64_t unasked = 0;      // module frames that are no answer to a request (not exchanges)
};

class ModbusMonitor {
  public:
    // The panel gives up on an answer after this long (its receive budget).
    static constexpr double kAnswerTimeoutMs = 200.0;
    static constexpr size_t kKeptLines = 200;

    ModbusMonitor(sim::Scheduler& scheduler, LineTap& tap);
    ~ModbusMonitor();
    ModbusMonitor(const ModbusMonitor&) = delete;
    ModbusMonitor& operator=(const ModbusMonitor&) = delete;

    // Writes every line to out as well (not closed here); nullptr: keep them only.
    void setOutput(std::FILE* out) { out_ = out; }

    // Keeps every line, not only the last kKeptLines (for a run that ends, such as a script's).
    void keepAll(bool all) { keepAll_ = all; }
    bool keepsAll() const { return keepAll_; }

    // Numbered lines after `after` (0: all kept); returns the number of the last line.
    uint64_t linesAfter(uint64_t after, std::vector<std::string>& lines) const;
    ModbusCounters counters() const;

    // Decoding and judging of whole frames, exposed for the tests.
    static std::string Decode(const std::vector<uint8_t>& frame, bool fromPanel);
    static std::string Hex(const std::vector<uint8_t>& frame);

  private:
    void byte(Direction direction, uint8_t value, sim::Picoseconds at);
    void endOfFrame();
    void answerTimedOut();
    void emit(double ms, const char* direction, const std::string& hex, const std::string& meaning,
              const char* verdict);

    sim::Scheduler& scheduler_;
    std::FILE* out_ = nullptr;

    std::vector<uint8_t> frame_;
    Direction frameDirection_ = Direction::ToModule;
    sim::Picoseconds frameEndPs_ = 0;
    sim::EventId silenceEvent_ = 0;

    bool awaiting_ = false;  // a request went out and no answer has started yet
    bool timedOut_ = false;   // ... and then the time-out passed
    bool answered_ = true;    // the last request's exchange has its answer (or there is none)
    bool frameLate_ = false;  // the frame on the line started after a time-out
    std::vector<uint8_t> request_;
    sim::EventId timeoutEvent_ = 0;

    mutable std::mutex mutex_;  // the kept lines and counters, read by the web server's threads
    std::deque<std::string> lines_;
    bool keepAll_ = false;
    uint64_t lineCount_ = 0;
    ModbusCounters counters_;
};

}  // namespace app
