// The emulated core's measurements of the image: calls of probed functions (screen changes,
// control cycles) and where the instructions went by function.
#include <algorithm>
#include <map>

#include "arm_core.hpp"

namespace sim::arm {

bool ArmCore::probe(const std::string& function) {
    const std::optional<Symbol> symbol = image_.symbol(function);
    if (!symbol) {
        return false;
    }
    if (probes_.empty()) {
        profiledProbe_ = symbol->address;
    }
    probes_[symbol->address] = function;
    updateProbeFilter();
    return true;
}

void ArmCore::updateProbeFilter() {
    probeFilter_ = 0;
    for (const auto& [address, name] : probes_) {
        probeFilter_ |= ProbeBit(address);
    }
    for (const Open& call : open_) {
        probeFilter_ |= ProbeBit(call.returnAddress);
    }
}

void ArmCore::onProbedBlock(uint32_t address) {
    const bool returning = !open_.empty() && address == open_.back().returnAddress;
    const auto probe = probes_.find(address);
    if (!returning && probe == probes_.end()) {
        return;
    }
    flush(blockStart_);
    const Picoseconds now = board_.scheduler().nowPs();
    if (returning && reg(UC_ARM_REG_SP) == open_.back().stack) {
        Open done = open_.back();
        open_.pop_back();
        profiledOpen_ -= done.profiled ? 1 : 0;
        done.record.instructions = instructions_ - done.record.instructions;
        done.record.cycles = cycles_ - done.cycles0;
        done.record.virtualTime = now - done.record.virtualTime;
        constexpr size_t kCallsKept = 1000000;
        if (calls_.size() >= kCallsKept) {
            calls_.erase(calls_.begin(), calls_.begin() + kCallsKept / 2);
        }
        calls_.push_back(done.record);
        updateProbeFilter();
    }
    if (probe != probes_.end()) {
        const CallRecord record{&probe->second, reg(UC_ARM_REG_R0), instructions_, 0, now,
                                instructions_,  cycles_,            now};
        const bool profiled = address == profiledProbe_;
        profiledOpen_ += profiled ? 1 : 0;
        open_.push_back(
            Open{reg(UC_ARM_REG_LR) & ~1u, reg(UC_ARM_REG_SP), record, cycles_, profiled});
        probeFilter_ |= ProbeBit(open_.back().returnAddress);
    }
}

std::vector<FunctionCost> ArmCore::takeProfile() {
    std::map<std::string, FunctionCost> byFunction;
    for (auto& [key, cost] : costs_) {
        if (cost.runs == 0 && cost.partialInstructions == 0) {
            continue;
        }
        const auto address = static_cast<uint32_t>(key);
        std::string name = image_.functionAt(address);
        if (name.empty()) {
            name = Hex(address);
        }
        FunctionCost& f = byFunction[name];
        f.function = name;
        f.instructions += cost.runs * cost.instructions + cost.partialInstructions;
        f.cycles += cost.runs * cost.cycles + cost.takenRuns * cost.takenExtra + cost.partialCycles;
        f.probedInstructions += cost.probedRuns * cost.instructions;
        f.probedCycles += cost.probedRuns * cost.cycles + cost.probedTakenRuns * cost.takenExtra;
        if (image_.startsFunction(address)) {
            f.calls += cost.runs;
            f.probedCalls += cost.probedRuns;
        }
        cost.runs = 0;
        cost.probedRuns = 0;
        cost.takenRuns = 0;
        cost.probedTakenRuns = 0;
        cost.partialInstructions = 0;
        cost.partialCycles = 0;
    }
    std::vector<FunctionCost> dearestFirst;
    for (auto& [name, f] : byFunction) {
        dearestFirst.push_back(std::move(f));
    }
    std::sort(dearestFirst.begin(), dearestFirst.end(),
              [](const FunctionCost& a, const FunctionCost& b) {
                  return a.probedCycles != b.probedCycles ? a.probedCycles > b.probedCycles
                                                          : a.cycles > b.cycles;
              });
    return dearestFirst;
}

}  // namespace sim::arm
