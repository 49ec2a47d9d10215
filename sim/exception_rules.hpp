// Which exception the processor takes, and when: the one set of rules both processors follow (the
// host-compiled firmware's and the emulated core's), from the interrupt controller's state.
//
// The most urgent pending exception is the one with the lowest priority value, then the lowest
// exception number. It is taken when PRIMASK is clear and its group priority (the upper bits of
// the priority byte, split by AIRCR's PRIGROUP) is more urgent than that of every active
// exception: an equal level never preempts, so handlers of one level run one after the other.
#pragma once

#include <cstdint>

#include "nvic.hpp"

namespace sim {

// Bits of a priority byte the part implements: the top three.
constexpr int kImplementedPriorityBits = 3;

// The most urgent exception that is pending (and enabled, for a peripheral interrupt), or 0.
uint32_t MostUrgentPending(const Nvic& nvic);

// The exception the processor takes now, or 0: the most urgent pending one, if PRIMASK lets it
// and it preempts every active exception.
uint32_t TakeableException(const Nvic& nvic, bool primask);

// The group (preemption) priority of a priority byte under a PRIGROUP setting: lower is more
// urgent.
int GroupPriority(int priority, uint32_t priorityGroup);

}  // namespace sim
