#include "host_core.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "exception_rules.hpp"

// The firmware's globals, as firmware_globals.ld gathers them (weak: a program linked without it
// has none, and cannot start the firmware twice).
extern "C" {
extern char __panel_firmware_data_start[] __attribute__((weak));
extern char __panel_firmware_data_end[] __attribute__((weak));
extern char __panel_firmware_bss_start[] __attribute__((weak));
extern char __panel_firmware_bss_end[] __attribute__((weak));
}

namespace sim {

namespace {

constexpr uint32_t kHardFault = 3;

// Whether a host core exists: the host-compiled firmware's globals are one set per process.
bool g_hostFirmwareTaken = false;

[[noreturn]] void Abort(const std::string& why) {
    std::fprintf(stderr, "simulated board: %s\n", why.c_str());
    std::abort();
}

// Byte by byte and outside the address sanitizer's view: the ranges hold its red zones too.
__attribute__((no_sanitize("address"))) void CopyBytes(volatile char* to, const char* from,
                                                       size_t count) {
    for (size_t i = 0; i < count; ++i) {
        to[i] = from[i];
    }
}
__attribute__((no_sanitize("address"))) void ClearBytes(volatile char* to, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        to[i] = 0;
    }
}

// The firmware's state as the program was loaded: its initialised data, kept the first time a
// core is made and put back (with the rest cleared) every later time, as a reset does.
void FreshFirmwareState() {
    static std::vector<char> loaded;
    static bool kept = false;
    if (__panel_firmware_data_start == nullptr) {
        static bool started = false;
        if (started) {
            Abort("this program cannot start the host-compiled firmware a second time: it was "
                  "linked without firmware_globals.ld");
        }
        started = true;
        return;
    }
    const size_t dataBytes =
        static_cast<size_t>(__panel_firmware_data_end - __panel_firmware_data_start);
    if (!kept) {
        loaded.resize(dataBytes);
        CopyBytes(loaded.data(), __panel_firmware_data_start, dataBytes);
        kept = true;
        return;
    }
    CopyBytes(__panel_firmware_data_start, loaded.data(), dataBytes);
    ClearBytes(__panel_firmware_bss_start,
               static_cast<size_t>(__panel_firmware_bss_end - __panel_firmware_bss_start));
}


}  // namespace

HostCore::HostCore(Board& board, const VectorEntry* vectors, uint32_t vectorCount, Mode mode)
    : board_(board),
      vectors_(vectors),
      vectorCount_(vectorCount),
      mode_(mode),
      accessCost_(board.config().accessCost) {
    if (g_hostFirmwareTaken) {
        Abort("the host-compiled firmware runs on one board at a time in a process: its globals "
              "are its state (run the image on the emulated core for a second board)");
    }
    g_hostFirmwareTaken = true;
    FreshFirmwareState();
    board_.nvic().setVtor(chip::kImageBase);
    board_.fitCore(this);
    t_hostCore = this;
}

HostCore::~HostCore() {
    board_.fitCore(nullptr);
    if (t_hostCore == this) {
        t_hostCore = nullptr;
    }
    g_hostFirmwareTaken = false;
}

StopReason HostCore::runUntil(Picoseconds deadline, const std::function<bool()>& condition) {
    if (mode_ == Mode::Direct) {
        Abort("a core in direct use has no firmware thread to run");
    }
    if (!runner_.started()) {
        if (vectors_ == nullptr || vectorCount_ < 2) {
            Abort("no firmware vector table registered");
        }
        board_.scheduler().setCheckpoint(0);  // the firmware's first sim point asks the deadline
        const VectorEntry reset = vectors_[1];
        runner_.start([this] { t_hostCore = this; }, [reset] { reset(); });
    }
    return runner_.runUntil(deadline, condition);
}

uint32_t HostCore::interruptsOff() {
    const uint32_t previous = primask_ ? 1 : 0;
    primask_ = true;
    return previous;
}

uint32_t HostCore::interruptsOn() {
    const uint32_t previous = primask_ ? 1 : 0;
    primask_ = false;
    if (isProcessor()) {
        simPoint(1);  // a pending interrupt is taken right after unmasking
    }
    return previous;
}

uint8_t HostCore::loadExclusive(volatile uint8_t* address) {
    const uint8_t value = *address;
    monitor_ = address;
    if (!isProcessor()) {
        return value;
    }
    if (afterExclusive_) {
        const std::function<void()> fn = std::move(afterExclusive_);
        afterExclusive_ = nullptr;
        fn();
    }
    // An interrupt taken here falls between the load and the store, and clears the monitor.
    simPoint(accessCost_);
    return value;
}

uint32_t HostCore::storeExclusive(volatile uint8_t* address, uint8_t value) {
    if (!isProcessor()) {
        *address = value;
        return 0;
    }
    const bool holds = monitor_ == address;
    monitor_ = nullptr;
    if (holds) {
        *address = value;
    }
    simPoint(accessCost_);
    return holds ? 0 : 1;
}

std::optional<Cycles> HostCore::deadlineCycle() {
    if (!runner_.onFirmwareThread()) {
        return std::nullopt;
    }
    return firmwareDeadline();
}

Cycles HostCore::firmwareDeadline() {
    const Scheduler& scheduler = board_.scheduler();
    if (runner_.turnNumber() != deadlineTurn_ || scheduler.rateGeneration() != deadlineRate_) {
        deadlineCycle_ = scheduler.cycleAtOrAfter(runner_.deadline());
        deadlineTurn_ = runner_.turnNumber();
        deadlineRate_ = scheduler.rateGeneration();
    }
    return deadlineCycle_;
}

void HostCore::maybeYield() {
    Scheduler& scheduler = board_.scheduler();
    if (!runner_.onFirmwareThread()) {
        if (!runner_.started()) {
            // Direct use: nothing to hand over to.
            scheduler.setCheckpoint(~Cycles{0});
        }
        return;
    }
    const bool reached = scheduler.now() >= firmwareDeadline();
    if ((reached || runner_.hasCondition()) && runner_.shouldYield(reached)) {
        runner_.yieldToHarness();
    }
    // Until the deadline nothing is to be asked, unless a condition is (at every sim point).
    // A new turn passes through here; a clock change resets the checkpoint.
    scheduler.setCheckpoint(runner_.hasCondition() ? 0 : firmwareDeadline());
}

void HostCore::delayLoop(uint32_t count) {
    if (!isProcessor()) {
        return;
    }
    Scheduler& scheduler = board_.scheduler();
    // Three cycles per count; a count of 0 wraps to 2^32 as on the target.
    Cycles remaining = 3 * (count == 0 ? (Cycles{1} << 32) : Cycles{count});
    while (remaining > 0) {
        Cycles step = remaining;
        const Cycles now = scheduler.now();
        if (const auto next = scheduler.nextEvent()) {
            step = std::min(step, *next > now ? *next - now : 1);
        }
        if (const auto deadline = deadlineCycle(); deadline && *deadline > now) {
            step = std::min(step, *deadline - now);
        }
        scheduler.advance(step);
        remaining -= step;
        // Handlers run inside the delay and lengthen it, as they do on the target.
        takeInterrupts();
        maybeYield();
    }
}

void HostCore::idleHint() {
    if (!isProcessor()) {
        return;
    }
    ++idleHints_;
    Nvic& nvic = board_.nvic();
    if (nvic.activeDepth() != 0 && TakeableException(nvic, primask_) == 0) {
        // Nothing can preempt the handler now; its loop is the fixed handlers' endless one.
        stopForGood("spinning for ever in the handler of exception " +
                    std::to_string(nvic.active()));
    }
    Scheduler& scheduler = board_.scheduler();
    if (TakeableException(nvic, primask_) == 0) {
        std::optional<Cycles> target = scheduler.nextEvent();
        if (const auto deadline = deadlineCycle()) {
            target = target ? std::min(*target, *deadline) : *deadline;
        }
        if (!target) {
            Abort("the firmware idles with nothing scheduled and no harness deadline");
        }
        scheduler.advanceTo(std::max(*target, scheduler.now() + 1));
    }
    takeInterrupts();
    maybeYield();
}

void HostCore::callAddress(uint32_t address) {
    bootLoaderCall_ = BootLoaderCall{board_.scheduler().now(),
                                     board_.scheduler().nowPs(),
                                     address,
                                     board_.nvic().enabled(),
                                     board_.systick().interruptEnabled(),
                                     primask_};
    if (runner_.onFirmwareThread()) {
        stopForGood("entered the boot loader at " + Hex(address));
    }
}

VectorEntry HostCore::handlerFor(uint32_t exception) const {
    if (vectors_ == nullptr || board_.nvic().vtor() != chip::kImageBase ||
        exception >= vectorCount_) {
        return nullptr;
    }
    return vectors_[exception];
}

void HostCore::runHandler(uint32_t exception) {
    const VectorEntry handler = handlerFor(exception);
    if (handler == nullptr) {
        const std::string what =
            "exception " + std::to_string(exception) + " has no handler in the vector table";
        board_.recordFault(0, what);
        busFault(what);
        return;
    }
    Nvic& nvic = board_.nvic();
    nvic.acknowledge(exception);
    monitor_ = nullptr;  // exception entry clears the exclusive monitor
    ++taken_.at(exception);
    handler();
    monitor_ = nullptr;  // and so does the return
    nvic.complete(exception);
}

void HostCore::takePendingInterrupts() {
    if (!isProcessor()) {
        return;
    }
    // Handlers run nested on this stack; inside one, only a more urgent exception preempts.
    while (const uint32_t exception = TakeableException(board_.nvic(), primask_)) {
        runHandler(exception);
    }
}

void HostCore::busFault(const std::string& what) {
    if (!runner_.onFirmwareThread()) {
        return;  // direct use only records the fault (the board has)
    }
    // A bus fault escalates to the hard fault, whose handler stops the firmware in place.
    if (const VectorEntry handler = handlerFor(kHardFault)) {
        board_.nvic().acknowledge(kHardFault);
        ++taken_.at(kHardFault);
        handler();
    }
    stopForGood("hard fault: " + what);
}

void HostCore::stopForGood(const std::string& why) {
    if (runner_.onFirmwareThread()) {
        runner_.park(why);
    }
    Abort(why);
}

}  // namespace sim
