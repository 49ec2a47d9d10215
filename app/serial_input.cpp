#include "serial_input.hpp"

#include <cmath>

namespace app {

sim::Picoseconds SerialInput::CharacterStep(const sim::Scheduler& scheduler,
                                            const sim::LineFormat& format) {
    const uint64_t psPerCycle = 1'000'000'000'000ull / scheduler.clockHz();
    return scheduler.cyclesFor(format.characterTime()) * psPerCycle;
}

void SerialInput::send(double ms, std::vector<uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const sim::Picoseconds first =
        board_.scheduler().nowPs() +
        static_cast<sim::Picoseconds>(std::llround(ms * static_cast<double>(sim::kPsPerMs)));
    deliverAt(first, std::make_shared<const std::vector<uint8_t>>(std::move(bytes)), 0);
}

void SerialInput::deliverAt(sim::Picoseconds at, std::shared_ptr<const std::vector<uint8_t>> bytes,
                            size_t index) {
    // Cycles count at the clock of the moment; if the firmware speeds the clock up before the
    // event, it comes early and is put off again to the right time. Each character, once
    // delivered, sends the next one a character time later.
    sim::Scheduler& scheduler = board_.scheduler();
    scheduler.at(scheduler.cycleAtOrAfter(at), [this, at, bytes, index] {
        sim::Scheduler& now = board_.scheduler();
        if (now.nowPs() < at) {
            deliverAt(at, bytes, index);
            return;
        }
        tap_.injectToPanel((*bytes)[index]);
        if (index + 1 < bytes->size()) {
            deliverAt(at + CharacterStep(now, tap_.lineFormat()), bytes, index + 1);
        }
    });
}

}  // namespace app
