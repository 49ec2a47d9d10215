// The processor as the board sees it, and as the harness runs it. Two implementations: the host
// core (the host-compiled firmware on a thread of its own, core/host_core.hpp) and the emulated
// Cortex-M3 that runs the real image (arm_core/arm_core.hpp). Both take exceptions by the rules
// of exception_rules.hpp: the same priorities, the same nesting, the same masking, and an
// exception can be taken between any two instructions (on the host: at any sim point) once it is
// pending.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scheduler.hpp"

namespace sim {

enum class StopReason {
    Deadline,   // virtual time reached the requested point
    Condition,  // the harness's condition became true
    Halted,     // the firmware stopped for good (fault, handler loop, boot loader, main returned)
    Debug,      // a debugger's breakpoint, watchpoint, step or halt request (the image's core)
};

struct BootLoaderCall {
    Cycles cycle;
    Picoseconds time;
    uint32_t address;
    uint64_t nvicEnabled;   // peripheral interrupt enables at the call
    bool sysTickInterrupt;  // SysTick's TICKINT at the call
    bool interruptsMasked;  // PRIMASK at the call
};

class Core {
  public:
    virtual ~Core() = default;

    // --- The harness's side. ---
    // Runs the firmware (from reset, the first time) until virtual time reaches the deadline or
    // the condition holds at an instruction boundary, whichever comes first.
    virtual StopReason runUntil(Picoseconds deadline, const std::function<bool()>& condition) = 0;
    virtual bool started() const = 0;
    virtual bool halted() const = 0;
    virtual const std::string& haltReason() const = 0;

    // --- The board's side. ---
    // PRIMASK.
    virtual bool interruptsMasked() const = 0;
    // The interrupt controller's state changed (a line, a pend, an enable, a priority): an
    // exception may be takeable from the next instruction boundary on.
    virtual void exceptionsChanged() = 0;
    // The bus answered an access with a fault: the processor takes its hard fault and stops.
    virtual void busFault(const std::string& what) = 0;
    // The firmware called an address below its image (the boot loader's entry).
    virtual const std::optional<BootLoaderCall>& bootLoaderCall() const = 0;

    // --- What tests and tools read. ---
    virtual uint64_t exceptionsTaken(uint32_t exception) const = 0;
    // Turns of the main loop's idle wait the processor skipped to the next event (the host
    // build's idle hint, the image's unchanged idle loop): non-zero once the main loop runs.
    virtual uint64_t idleTurns() const = 0;
    // Test tooling: fn runs once, right after the processor's next exclusive load and before the
    // instruction that follows it, on the processor's side (it may pend an interrupt there).
    virtual void afterNextExclusiveLoad(std::function<void()> fn) = 0;
};

}  // namespace sim
