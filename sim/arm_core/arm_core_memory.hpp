// The emulated core's own additions to the chip's memory map (chip.hpp): the page EXC_RETURN
// values point into, and the stub through which the core enters a handler or returns from one.
#pragma once

#include <cstdint>

namespace sim::arm {

// Branching to an EXC_RETURN value lands here (the system region: the fetch faults, and the
// core returns from the exception).
constexpr uint32_t kExcReturnPage = 0xFFFFF000;
constexpr uint32_t kExcReturnFirst = 0xFFFFFFF0;
constexpr uint32_t kReturnToHandler = 0xFFFFFFF1;
constexpr uint32_t kReturnToThread = 0xFFFFFFF9;
// Exception entry and return clear the exclusive monitor; the emulator's monitor is cleared by
// its own instruction, so the core goes to a handler, and back, through "clrex; pop {pc}" with
// the target pushed. The stub sits in the code region above flash, where nothing else is.
constexpr uint32_t kStubPage = 0x1FFFF000;
constexpr uint32_t kMonitorStub = kStubPage;
constexpr uint8_t kMonitorStubCode[] = {0xBF, 0xF3, 0x2F, 0x8F, 0x00, 0xBD};

constexpr uint32_t kXpsrThumb = 1u << 24;
constexpr uint32_t kXpsrAligned = 1u << 9;
constexpr uint32_t kIpsrMask = 0x1FF;

}  // namespace sim::arm
