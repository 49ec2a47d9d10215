#include "exception_rules.hpp"

namespace sim {

namespace {
constexpr uint64_t kLineMask = (uint64_t{1} << kPeripheralInterrupts) - 1;
constexpr int kUnimplementedMask = (1 << (8 - kImplementedPriorityBits)) - 1;
}  // namespace

int GroupPriority(int priority, uint32_t priorityGroup) {
    if (priority < 0) {
        return priority;  // reset, NMI and hard fault: fixed above every configurable level
    }
    // PRIGROUP g: bits 7..g+1 are the group, g..0 the subpriority; the unimplemented low bits
    // read as zero, so with three bits every PRIGROUP up to 4 leaves all of them in the group.
    return (priority & ~kUnimplementedMask) >> (priorityGroup + 1);
}

uint32_t MostUrgentPending(const Nvic& nvic) {
    uint32_t best = 0;
    int bestPriority = 1 << 30;
    if (nvic.sysTickPending()) {
        best = kExceptionSysTick;
        bestPriority = nvic.priority(kExceptionSysTick);
    }
    for (uint64_t ready = nvic.pending() & nvic.enabled() & kLineMask; ready != 0;
         ready &= ready - 1) {
        const uint32_t exception =
            kFirstPeripheralException + static_cast<uint32_t>(__builtin_ctzll(ready));
        const int priority = nvic.priority(exception);
        if (priority < bestPriority) {  // equal: the lower number, found first, stays
            best = exception;
            bestPriority = priority;
        }
    }
    return best;
}

uint32_t TakeableException(const Nvic& nvic, bool primask) {
    if (primask || !nvic.anyReady()) {
        return 0;
    }
    const uint32_t candidate = MostUrgentPending(nvic);
    if (candidate == 0) {
        return 0;
    }
    const uint32_t group = nvic.priorityGroup();
    const int urgency = GroupPriority(nvic.priority(candidate), group);
    for (uint32_t level = 0; level < nvic.activeDepth(); ++level) {
        if (urgency >= GroupPriority(nvic.priority(nvic.activeAt(level)), group)) {
            return 0;
        }
    }
    return candidate;
}

}  // namespace sim
