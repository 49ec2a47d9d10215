// A value change dump of one-bit wires, written as it goes. Timestamps are nanoseconds.
//
// Most changes come in time order (a pin changed now); some are dated behind or ahead of the
// others (a serial character's bits, known whole when it starts or when it has arrived). Those
// wait in a small queue until the writer is told that nothing earlier can come any more, so
// the file stays in time order while memory is bounded by what falls inside that lag.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <limits>
#include <queue>
#include <string>
#include <vector>

namespace sim::trace {

using Nanoseconds = uint64_t;
constexpr Nanoseconds kForever = std::numeric_limits<Nanoseconds>::max();

class VcdWriter {
  public:
    // Only changes in [start, end] are written; the values at start open the dump.
    struct Window {
        Nanoseconds start = 0;
        Nanoseconds end = kForever;
    };

    // Writes to `out`, which the writer neither buffers further nor closes.
    VcdWriter(std::FILE* out, Window window);
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    // Declares a wire before begin(); scope groups wires in a viewer. Values: '0', '1', 'z', 'x'.
    int addWire(const std::string& scope, const std::string& name, char initial);
    // Writes the header.
    void begin(const std::string& comment);

    // A change at `time`, not before the last one given here.
    void change(int wire, Nanoseconds time, char value);
    // A change dated anywhere from the last released time on (see release()).
    void changeOutOfOrder(int wire, Nanoseconds time, char value);
    // Nothing dated before `time` will come any more: what is before it is written.
    void release(Nanoseconds time);
    // Writes everything still queued and a last timestamp at `time` (clipped to the window).
    void finish(Nanoseconds time);

    uint64_t bytesWritten() const { return bytes_; }
    uint64_t changesWritten() const { return changesWritten_; }
    // Out-of-order changes that came dated before what was already written, written at the
    // earliest time still open instead.
    uint64_t changesLate() const { return late_; }
    // The most changes that waited at once (the memory the lag costs).
    size_t mostQueued() const { return mostQueued_; }
    const std::string& wireName(int wire) const { return wires_[static_cast<size_t>(wire)].name; }
    size_t wireCount() const { return wires_.size(); }

  private:
    struct Wire {
        std::string scope;
        std::string name;
        std::string id;
        char value;  // as last written (or, before the window, as last seen)
    };
    struct Change {
        Nanoseconds time;
        uint64_t order;  // ties keep the order the changes were given in
        int wire;
        char value;
        bool operator>(const Change& other) const {
            return time != other.time ? time > other.time : order > other.order;
        }
    };

    void emit(const Change& change);
    void openWindow();
    void put(const char* text, size_t length);
    void put(const std::string& text) { put(text.data(), text.size()); }
    void putTime(Nanoseconds time);
    void noteQueued();

    std::FILE* out_;
    Window window_;
    std::vector<Wire> wires_;
    bool opened_ = false;  // the window's first dump written
    bool closed_ = false;  // past the window's end
    Nanoseconds written_ = 0;   // the time of the last timestamp written
    Nanoseconds released_ = 0;  // nothing earlier comes any more
    uint64_t order_ = 0;
    std::deque<Change> inOrder_;
    std::priority_queue<Change, std::vector<Change>, std::greater<>> outOfOrder_;
    uint64_t bytes_ = 0;
    uint64_t changesWritten_ = 0;
    uint64_t late_ = 0;
    size_t mostQueued_ = 0;
};

}  // namespace sim::trace
