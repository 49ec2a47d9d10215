#include "recorder.hpp"

#include <cinttypes>

namespace app {

Recorder::~Recorder() {
    if (out_ != nullptr) {
        std::fclose(out_);
    }
}

std::string Recorder::Milliseconds(sim::Picoseconds ps) {
    char text[48];
    std::snprintf(text, sizeof(text), "%" PRIu64 ".%09" PRIu64, ps / sim::kPsPerMs,
                  ps % sim::kPsPerMs);
    return text;
}

bool Recorder::open(const std::string& path, const std::string& boardOptions, std::string* why) {
    out_ = path == "-" ? stdout : std::fopen(path.c_str(), "w");
    if (out_ == nullptr) {
        if (why != nullptr) {
            *why = "cannot write " + path;
        }
        return false;
    }
    std::fprintf(out_,
                 "# A panel-sim session, recorded. Replay: panel-sim --script THIS_FILE%s\n"
                 "# Waits are exact virtual times (ms); the commands after each (touch, release,\n"
                 "# fault, register, module-process, serial-in) are what happened at its end.\n",
                 boardOptions.c_str());
    std::fflush(out_);
    return true;
}

void Recorder::command(sim::Picoseconds at, const std::string& text) {
    if (out_ == nullptr) {
        return;
    }
    flushPeerBytes();
    if (at > point_) {
        std::fprintf(out_, "wait %s\n", Milliseconds(at - point_).c_str());
        point_ = at;
    }
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void Recorder::peerByte(sim::Picoseconds at, uint8_t byte, sim::Picoseconds step) {
    if (out_ == nullptr) {
        return;
    }
    if (!peerBytes_.empty() && at != peerLast_ + step) {
        flushPeerBytes();
    }
    if (peerBytes_.empty()) {
        peerStart_ = at;
    }
    peerBytes_.push_back(byte);
    peerLast_ = at;
}

void Recorder::flushPeerBytes() {
    if (peerBytes_.empty()) {
        return;
    }
    std::fprintf(out_, "serial-in %s", Milliseconds(peerStart_ - point_).c_str());
    for (const uint8_t byte : peerBytes_) {
        std::fprintf(out_, " %02X", byte);
    }
    std::fprintf(out_, "\n");
    peerBytes_.clear();
}

void Recorder::close(sim::Picoseconds at) {
    if (out_ == nullptr) {
        return;
    }
    flushPeerBytes();
    if (at > point_) {
        std::fprintf(out_, "wait %s\n", Milliseconds(at - point_).c_str());
    }
    std::fprintf(out_, "# end of the session\n");
    if (out_ != stdout) {
        std::fclose(out_);
    }
    out_ = nullptr;
}

}  // namespace app
