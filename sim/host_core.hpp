// The processor of the host-compiled firmware: what the firmware's register accesses and core
// instructions do on the host. Every access goes to the board's bus and costs the board's access
// time; each one is a sim point, where due events run, a pending exception is taken (its handler
// called from the firmware's own vector table, nested by the exception rules) and the harness may
// take the baton.
//
// Two ways to run. Threaded: the firmware's reset entry runs on a thread of its own (Runner),
// and the thread that made the core reads and writes the board as a debugger, without time or
// gates. Direct: the thread that made the core is itself the processor (unit tests call firmware
// routines on it); there is no harness deadline.
//
// The host-compiled firmware is one per process: its globals are its state. So one host core at
// a time may exist; it binds the firmware's register access layer to its board for its lifetime.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "board.hpp"
#include "core.hpp"
#include "runner.hpp"

namespace sim {

using VectorEntry = void (*)();

class HostCore;
// The host-compiled firmware's processor, seen from each thread that belongs to it. Inline and
// constant-initialised: every register access of the firmware looks it up.
inline constinit thread_local HostCore* t_hostCore = nullptr;

class HostCore final : public Core {
  public:
    enum class Mode { Threaded, Direct };

    // The firmware's vector table, as the boot loader leaves it: VTOR at the image.
    HostCore(Board& board, const VectorEntry* vectors, uint32_t vectorCount, Mode mode);
    ~HostCore() override;
    HostCore(const HostCore&) = delete;
    HostCore& operator=(const HostCore&) = delete;

    Board& board() { return board_; }
    Mode mode() const { return mode_; }

    // --- Core. ---
    StopReason runUntil(Picoseconds deadline, const std::function<bool()>& condition) override;
    bool started() const override { return runner_.started(); }
    bool halted() const override { return runner_.halted(); }
    const std::string& haltReason() const override { return runner_.haltReason(); }
    bool interruptsMasked() const override { return primask_; }
    void exceptionsChanged() override {}  // every sim point looks
    void busFault(const std::string& what) override;
    const std::optional<BootLoaderCall>& bootLoaderCall() const override { return bootLoaderCall_; }
    uint64_t exceptionsTaken(uint32_t exception) const override { return taken_.at(exception); }
    uint64_t idleTurns() const override { return idleHints_; }
    void afterNextExclusiveLoad(std::function<void()> fn) override { afterExclusive_ = std::move(fn); }

    bool inHandler() const { return board_.nvic().activeDepth() != 0; }

    // --- What the firmware's register access layer does (host_bus.cpp). ---
    // Inline: the simulator's hottest path.
    [[gnu::always_inline]] uint32_t read(uint32_t address, unsigned size) {
        if (!isProcessor()) [[unlikely]] {
            return board_.debugRead(address, size);
        }
        const uint32_t value = board_.cpuRead(address, size);
        simPoint(accessCost_);
        return value;
    }
    [[gnu::always_inline]] void write(uint32_t address, uint32_t value, unsigned size) {
        if (!isProcessor()) [[unlikely]] {
            board_.debugWrite(address, value, size);
            return;
        }
        board_.cpuWrite(address, value, size);
        simPoint(accessCost_);
    }
    uint32_t interruptsOff();
    uint32_t interruptsOn();
    uint8_t loadExclusive(volatile uint8_t* address);
    uint32_t storeExclusive(volatile uint8_t* address, uint8_t value);
    void delayLoop(uint32_t count);
    void idleHint();
    void callAddress(uint32_t address);

    // The host core the calling thread belongs to, as processor or debugger; null if none.
    static HostCore* OfThisThread() { return t_hostCore; }

  private:
    // Before the firmware thread starts, the thread that made the core acts as the processor.
    bool isProcessor() const {
        // The firmware's own thread first: the case of nearly every access.
        return runner_.onFirmwareThread() || mode_ == Mode::Direct || !runner_.started();
    }
    void simPoint(Cycles cost) {
        Scheduler& scheduler = board_.scheduler();
        scheduler.advance(cost);
        takeInterrupts();
        if (scheduler.pastCheckpoint()) [[unlikely]] {
            maybeYield();
        }
    }
    void takeInterrupts() {
        // Asked after every access: usually nothing is pending at all.
        if (board_.nvic().anyReady()) [[unlikely]] {
            takePendingInterrupts();
        }
    }
    void takePendingInterrupts();
    void runHandler(uint32_t exception);
    VectorEntry handlerFor(uint32_t exception) const;
    [[noreturn]] void stopForGood(const std::string& why);
    // Hands over to the harness when its deadline is reached or its condition holds, and sets
    // the scheduler's checkpoint to the next sim point that needs asking again.
    void maybeYield();
    std::optional<Cycles> deadlineCycle();
    Cycles firmwareDeadline();

    Board& board_;
    const VectorEntry* vectors_;
    uint32_t vectorCount_;
    Mode mode_;
    Cycles accessCost_;
    Runner runner_;
    bool primask_ = false;
    const volatile uint8_t* monitor_ = nullptr;
    std::function<void()> afterExclusive_;
    std::optional<BootLoaderCall> bootLoaderCall_;
    uint64_t idleHints_ = 0;
    std::array<uint64_t, 64> taken_{};
    // The harness deadline as a cycle, recomputed only when the turn or the clock rate changes.
    Cycles deadlineCycle_ = 0;
    uint64_t deadlineTurn_ = ~0ull;
    uint64_t deadlineRate_ = ~0ull;
};

}  // namespace sim
