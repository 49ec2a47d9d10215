#include "vcd_writer.hpp"

#include <algorithm>
#include <cinttypes>

namespace sim::trace {

namespace {

// Identifier codes: printable characters other than space, as short as the count allows.
std::string IdFor(size_t index) {
    constexpr size_t kFirst = 33;
    constexpr size_t kCount = 94;
    std::string id;
    do {
        id.push_back(static_cast<char>(kFirst + index % kCount));
        index /= kCount;
    } while (index != 0);
    return id;
}

}  // namespace

VcdWriter::VcdWriter(std::FILE* out, Window window) : out_(out), window_(window) {}

int VcdWriter::addWire(const std::string& scope, const std::string& name, char initial) {
    wires_.push_back(Wire{scope, name, IdFor(wires_.size()), initial});
    return static_cast<int>(wires_.size() - 1);
}

void VcdWriter::begin(const std::string& comment) {
    put("$comment " + comment + " $end\n");
    put("$timescale 1ns $end\n");
    put("$scope module panel $end\n");
    std::string scope;
    for (const Wire& wire : wires_) {
        if (wire.scope != scope) {
            if (!scope.empty()) {
                put("$upscope $end\n");
            }
            scope = wire.scope;
            put("$scope module " + scope + " $end\n");
        }
        put("$var wire 1 " + wire.id + " " + wire.name + " $end\n");
    }
    if (!scope.empty()) {
        put("$upscope $end\n");
    }
    put("$upscope $end\n$enddefinitions $end\n");
}

void VcdWriter::change(int wire, Nanoseconds time, char value) {
    if (time < released_) {
        ++late_;
        time = released_;
    }
    inOrder_.push_back(Change{time, order_++, wire, value});
    noteQueued();
}

void VcdWriter::changeOutOfOrder(int wire, Nanoseconds time, char value) {
    if (time < released_) {
        ++late_;
        time = released_;
    }
    outOfOrder_.push(Change{time, order_++, wire, value});
    noteQueued();
}

void VcdWriter::noteQueued() {
    mostQueued_ = std::max(mostQueued_, inOrder_.size() + outOfOrder_.size());
}

void VcdWriter::release(Nanoseconds time) {
    if (time <= released_) {
        return;
    }
    released_ = time;
    for (;;) {
        const bool haveInOrder = !inOrder_.empty() && inOrder_.front().time < time;
        const bool haveOther = !outOfOrder_.empty() && outOfOrder_.top().time < time;
        if (!haveInOrder && !haveOther) {
            return;
        }
        if (haveInOrder && (!haveOther || outOfOrder_.top() > inOrder_.front())) {
            emit(inOrder_.front());
            inOrder_.pop_front();
        } else {
            emit(outOfOrder_.top());
            outOfOrder_.pop();
        }
    }
}

void VcdWriter::finish(Nanoseconds time) {
    // What is dated after the end of the run never happened.
    release(time == kForever ? time : time + 1);
    inOrder_.clear();
    outOfOrder_ = {};
    if (!closed_ && time >= window_.start) {
        if (!opened_) {
            openWindow();
        }
        const Nanoseconds last = std::min(time, window_.end);
        if (last > written_) {
            putTime(last);
        }
    }
    closed_ = true;
    std::fflush(out_);
}

void VcdWriter::openWindow() {
    opened_ = true;
    written_ = window_.start;
    putTime(window_.start);
    put("$dumpvars\n");
    for (const Wire& wire : wires_) {
        put(std::string(1, wire.value) + wire.id + "\n");
    }
    put("$end\n");
}

void VcdWriter::emit(const Change& change) {
    if (closed_) {
        return;
    }
    Wire& wire = wires_[static_cast<size_t>(change.wire)];
    if (change.time < window_.start) {
        wire.value = change.value;
        return;
    }
    if (change.time > window_.end) {
        if (!opened_) {
            openWindow();
        }
        if (window_.end > written_) {
            putTime(window_.end);
        }
        closed_ = true;
        return;
    }
    if (!opened_) {
        openWindow();
    }
    if (wire.value == change.value) {
        return;
    }
    if (change.time > written_) {
        putTime(change.time);
    }
    wire.value = change.value;
    char text[16];
    text[0] = change.value;
    const size_t length = std::min(wire.id.size(), sizeof(text) - 2);
    std::copy_n(wire.id.data(), length, text + 1);
    text[1 + length] = '\n';
    put(text, length + 2);
    ++changesWritten_;
}

void VcdWriter::putTime(Nanoseconds time) {
    char text[32];
    const int length = std::snprintf(text, sizeof(text), "#%" PRIu64 "\n", time);
    put(text, static_cast<size_t>(length));
    written_ = time;
}

void VcdWriter::put(const char* text, size_t length) {
    std::fwrite(text, 1, length, out_);
    bytes_ += length;
}

}  // namespace sim::trace
