#include "session_hashes.hpp"

#include <cinttypes>
#include <cstdio>

#include "recorder.hpp"

namespace app {

namespace {

constexpr uint64_t kFnvStart = 0xcbf29ce484222325ull;

uint64_t Fnv(uint64_t hash, const uint8_t* data, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ data[i]) * 0x100000001b3ull;
    }
    return hash;
}

}  // namespace

SessionHashes::SessionHashes(sim::DisplayModule& display, LineTap& tap)
    : display_(display), screenHash_(kFnvStart), lineHash_(kFnvStart) {
    tap.listen([this](Direction direction, uint8_t byte, sim::Picoseconds at) {
        line(direction, byte, at);
    });
    display_.setWordTap([this](const sim::DisplayModule::Latched& latched) { word(latched); });
}

SessionHashes::~SessionHashes() {
    display_.setWordTap(nullptr);
}

void SessionHashes::print(sim::Picoseconds now) const {
    const std::vector<uint8_t> rgb = display_.renderRgb();
    std::printf("panel-sim: at %s ms: %" PRIu64 " display words, hash %016" PRIx64
                ", screen now %016" PRIx64 "; %" PRIu64 " line characters, hash %016" PRIx64 "\n",
                Recorder::Milliseconds(now).c_str(), displayWords_, screenHash_,
                Fnv(kFnvStart, rgb.data(), rgb.size()), lineBytes_, lineHash_);
    std::fflush(stdout);
}

void SessionHashes::line(Direction direction, uint8_t byte, sim::Picoseconds at) {
    uint8_t record[10] = {static_cast<uint8_t>(direction), byte};
    for (int i = 0; i < 8; ++i) {
        record[2 + i] = static_cast<uint8_t>(at >> (8 * i));
    }
    lineHash_ = Fnv(lineHash_, record, sizeof(record));
    ++lineBytes_;
}

void SessionHashes::word(const sim::DisplayModule::Latched& latched) {
    // In order, without their times: the virtual time at which the display model sees a word
    // can shift by a few cycles with where the harness stopped the firmware (seen in window
    // sessions), while the words themselves and the line's characters with their times do not.
    uint8_t record[8] = {static_cast<uint8_t>(latched.word),
                         static_cast<uint8_t>(latched.word >> 8),
                         static_cast<uint8_t>(latched.data), latched.index};
    for (int i = 0; i < 4; ++i) {
        record[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(latched.cell) >> (8 * i));
    }
    screenHash_ = Fnv(screenHash_, record, sizeof(record));
    ++displayWords_;
}

}  // namespace app
