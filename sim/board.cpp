#include "board.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

namespace sim {

namespace {

// The core's system control space: SysTick at 0x010-0x01F, everything else the NVIC and SCB.
class SystemControlSpace : public Device {
  public:
    SystemControlSpace(Nvic& nvic, SysTick& systick) : nvic_(nvic), systick_(systick) {}
    std::string name() const override { return "core (NVIC, SysTick)"; }
    RegisterTable registers() const override { return kRegisters; }
    uint32_t read(uint32_t offset, unsigned) override {
        return IsSysTick(offset) ? systick_.read(offset - kSysTickAt) : nvic_.read(offset);
    }
    void write(uint32_t offset, uint32_t value, unsigned) override {
        if (IsSysTick(offset)) {
            systick_.write(offset - kSysTickAt, value);
        } else {
            nvic_.write(offset, value);
        }
    }

  private:
    // SysTick's registers sit at 0x010 in this space; the rest belongs to the NVIC and the SCB.
    static constexpr uint32_t kSysTickAt = 0x010;
    static constexpr Register kRegisters[] = {
        {kSysTickAt + systick::CTRL, "STCTRL"},
        {kSysTickAt + systick::RELOAD, "STRELOAD"},
        {kSysTickAt + systick::CURRENT, "STCURRENT"},
        {kSysTickAt + systick::CALIB, "STCALIB", Access::ReadOnly},
        {nvic::EN, "EN", Access::ReadWrite, 2},
        {nvic::DIS, "DIS", Access::ReadWrite, 2},
        {nvic::PEND, "PEND", Access::ReadWrite, 2},
        {nvic::UNPEND, "UNPEND", Access::ReadWrite, 2},
        {nvic::ACTIVE, "ACTIVE", Access::ReadOnly, 2},
        {nvic::PRI, "PRI", Access::ReadWrite, nvic::kPriorityWords},
        {nvic::CPUID, "CPUID", Access::ReadOnly},
        {nvic::INT_CTRL, "INT_CTRL"},
        {nvic::VTABLE, "VTABLE"},
        {nvic::APINT, "APINT"},
        {nvic::SYS_HND_CTRL, "SYS_HND_CTRL"},
    };
    static bool IsSysTick(uint32_t offset) {
        return offset >= kSysTickAt && offset < kSysTickAt + 0x10;
    }
    Nvic& nvic_;
    SysTick& systick_;
};

// Process-wide, so that warnings of a board a test replaced are not lost. Bounded, so that a
// long run that keeps provoking one (a soak with the module unplugged) stays flat in memory.
constexpr size_t kWarningsKept = 4096;
std::mutex g_warningsLock;
std::vector<BoardWarning> g_warnings;
uint64_t g_warningsNotKept = 0;

const char* KindName(WarningKind kind) {
    switch (kind) {
        case WarningKind::Unimplemented:
            return "unimplemented";
        case WarningKind::WriteToReadOnly:
            return "write to read-only";
        case WarningKind::ReadOfWriteOnly:
            return "read of write-only";
        case WarningKind::CharacterDropped:
            return "character dropped";
    }
    return "?";
}

[[noreturn]] void Abort(const std::string& why) {
    std::fprintf(stderr, "simulated board: %s\n", why.c_str());
    std::abort();
}

}  // namespace

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

std::string Describe(const BoardWarning& warning) {
    return "board warning at cycle " + std::to_string(warning.cycle) + ", " + Hex(warning.address) +
           " value " + Hex(warning.value) + " (" + KindName(warning.kind) + "): " + warning.what;
}

std::vector<BoardWarning> BoardWarnings() {
    const std::lock_guard<std::mutex> lock(g_warningsLock);
    return g_warnings;
}

std::vector<BoardWarning> TakeBoardWarnings() {
    const std::lock_guard<std::mutex> lock(g_warningsLock);
    g_warningsNotKept = 0;
    return std::exchange(g_warnings, {});
}

uint64_t BoardWarningsNotKept() {
    const std::lock_guard<std::mutex> lock(g_warningsLock);
    return g_warningsNotKept;
}

Board& Board::createInstance() {
    if (current_ == nullptr) {
        current_ = new Board(BoardConfig{});
    }
    return *current_;
}

Board& Board::reset(const BoardConfig& config) {
    if (current_ != nullptr && current_->runner_.started()) {
        Abort(
            "a board with a running firmware cannot be replaced; run each scenario in its own "
            "process");
    }
    // The old board stays alive: firmware globals (a parameter-block pointer into flash, say)
    // may still point into it, and a test must not turn those into dangling pointers.
    static std::vector<std::unique_ptr<Board>> retired;
    if (current_ != nullptr) {
        retired.emplace_back(current_);
    }
    current_ = new Board(config);
    return *current_;
}

Board::Board(const BoardConfig& config)
    : config_(config), scheduler_(12'000'000), systick_(scheduler_, nvic_) {
    sysctl_ = std::make_unique<SysCtl>(scheduler_, flash_, config_.sysctl);
    flashController_ = std::make_unique<FlashController>(flash_);
    flashArray_ = std::make_unique<FlashArray>(flash_);

    map(0x00000000, FlashMemory::kSize, *flashArray_);
    map(0x400FD000, 0x1000, *flashController_);
    map(0x400FE000, 0x1000, *sysctl_);
    attach<SystemControlSpace>(0xE000E000, 0x1000, -1, 0, nvic_, systick_);

    constexpr uint32_t kPortBases[7] = {0x40004000, 0x40005000, 0x40006000, 0x40007000,
                                        0x40024000, 0x40025000, 0x40026000};
    for (uint32_t i = 0; i < 7; ++i) {
        ports_.push_back(std::make_unique<GpioPort>(static_cast<char>('A' + i), i == 1));
        map(kPortBases[i], 0x1000, *ports_.back(), 2, i);
    }
    AttachPeripheralModels(*this);
}

GpioPort& Board::gpio(char port) {
    const int index = port - 'A';
    if (index < 0 || index >= static_cast<int>(ports_.size())) {
        Abort(std::string("no GPIO port ") + port);
    }
    return *ports_[static_cast<size_t>(index)];
}

void Board::map(uint32_t base, uint32_t size, Device& device, int gateRegister, uint32_t gateBit) {
    device.setFaultReporter([this](const std::string& what) { raiseFault(currentAddress_, what); });
    device.setWarningReporter(
        [this, base](WarningKind kind, uint32_t offset, uint32_t value, const std::string& what) {
            recordWarning(kind, base + offset, value, what);
        });
    Mapping mapping{};
    mapping.base = base;
    mapping.size = size;
    mapping.device = &device;
    mapping.port = dynamic_cast<GpioPort*>(&device);
    mapping.gate = &kAlwaysOn;
    mapping.gateMask = 1;
    if (gateRegister >= 0) {
        mapping.gate = sysctl_->runGate(static_cast<uint32_t>(gateRegister));
        mapping.gateMask = 1u << gateBit;
    }
    mapping.registers = device.registers();
    mapping.checked = !mapping.registers.empty();
    if (!mapping.checked) {
        mapping.allowed = kAllAllowed.data();  // by page only: see mapPages
    } else if (size <= kAllowedTableLimit) {
        mapping.allowedTable = std::make_unique<uint8_t[]>(size);
        for (uint32_t offset = 0; offset < size; ++offset) {
            if (const Register* reg = FindRegister(mapping.registers, offset)) {
                mapping.allowedTable[offset] =
                    static_cast<uint8_t>((reg->access != Access::WriteOnly ? kLoadAllowed : 0) |
                                         (reg->access != Access::ReadOnly ? kStoreAllowed : 0));
            }
        }
        mapping.allowed = mapping.allowedTable.get();
    }
    mappings_.push_back(std::move(mapping));
    std::sort(mappings_.begin(), mappings_.end(),
              [](const Mapping& a, const Mapping& b) { return a.base < b.base; });
    mapPages();
}

void Board::mapPages() {
    pages_.fill(Page{});
    for (Mapping& m : mappings_) {
        if (m.base < kPeripheralBase || m.base - kPeripheralBase >= kPages * kPageSize ||
            m.base % kPageSize != 0 || m.size % kPageSize != 0 || m.allowed == nullptr) {
            continue;
        }
        for (uint32_t at = 0; at < m.size; at += kPageSize) {
            const uint32_t page = (m.base - kPeripheralBase + at) / kPageSize;
            if (page >= kPages) {
                break;
            }
            if (pages_[page].mapping == nullptr) {
                const uint8_t* allowed = m.checked ? m.allowed + at : m.allowed;
                const bool dataStored = m.port != nullptr && at == 0 &&
                                        std::all_of(allowed, allowed + gpio::DIR, [](uint8_t bits) {
                                            return (bits & kStoreAllowed) != 0;
                                        });
                pages_[page] = Page{&m, allowed, m.gate, m.gateMask, dataStored ? m.port : nullptr};
            }
        }
    }
}

Board::Mapping* Board::search(uint32_t address) {
    for (auto& mapping : mappings_) {
        if (address >= mapping.base && address - mapping.base < mapping.size) {
            return &mapping;
        }
    }
    return nullptr;
}

AccessCounts Board::accessCounts(const std::string& deviceName) const {
    AccessCounts total;
    for (const auto& mapping : mappings_) {
        if (mapping.device->name() == deviceName) {
            total.reads += mapping.counts.reads;
            total.writes += mapping.counts.writes;
        }
    }
    return total;
}

void Board::setVectorTable(const VectorEntry* table, uint32_t entries) {
    vectors_ = table;
    vectorCount_ = entries;
    nvic_.setVtor(kImageBase);
}

void Board::startFirmware() {
    scheduler_.setCheckpoint(0);  // the firmware's first sim point asks for the deadline
    if (externalCore_.run) {
        runner_.start(externalCore_.run);
        return;
    }
    if (vectors_ == nullptr || vectorCount_ < 2) {
        Abort("no firmware vector table registered");
    }
    const VectorEntry reset = vectors_[1];
    runner_.start([reset] { reset(); });
}

uint32_t Board::accessSearched(uint32_t address, uint32_t value, unsigned size, bool write,
                              bool enforceGates) {
    Mapping* mapping = search(address);
    if (mapping == nullptr) {
        unmappedFault(address, write);
        return 0;
    }
    if (enforceGates && (*mapping->gate & mapping->gateMask) == 0) {
        gatedFault(*mapping, address);
        return 0;
    }
    const uint32_t offset = address - mapping->base;
    if (mapping->checked &&
        (mapping->allowed == nullptr ||
         (mapping->allowed[offset] & (write ? kStoreAllowed : kLoadAllowed)) == 0)) {
        checkRegister(*mapping, offset, value, write);
    }
    return deliver(*mapping, offset, value, size, write);
}

void Board::unmappedFault(uint32_t address, bool write) {
    raiseFault(address, std::string(write ? "store to " : "load from ") + Hex(address) +
                            ": nothing is mapped there");
}

void Board::gatedFault(const Mapping& mapping, uint32_t address) {
    raiseFault(address, mapping.device->name() + " accessed at " + Hex(address) +
                            " while its clock is gated");
}

uint32_t Board::debugRead(uint32_t address, unsigned size) {
    return access(address, 0, size, false, false);
}

void Board::debugWrite(uint32_t address, uint32_t value, unsigned size) {
    access(address, value, size, true, false);
}

uint32_t Board::interruptsOff() {
    const uint32_t previous = primask_ ? 1 : 0;
    primask_ = true;
    return previous;
}

uint32_t Board::interruptsOn() {
    const uint32_t previous = primask_ ? 1 : 0;
    primask_ = false;
    if (isCpuContext()) {
        simPoint(1);  // a pending interrupt is taken right after unmasking
    }
    return previous;
}

uint8_t Board::loadExclusive(volatile uint8_t* address) {
    const uint8_t value = *address;
    monitor_ = address;
    // An interrupt taken here falls between the load and the store, and clears the monitor.
    if (isCpuContext()) {
        simPoint(config_.accessCost);
    }
    return value;
}

uint32_t Board::storeExclusive(volatile uint8_t* address, uint8_t value) {
    if (!isCpuContext()) {
        *address = value;
        return 0;
    }
    const bool holds = monitor_ == address;
    monitor_ = nullptr;
    if (holds) {
        *address = value;
    }
    simPoint(config_.accessCost);
    return holds ? 0 : 1;
}

std::optional<Cycles> Board::deadlineCycle() {
    if (!runner_.onFirmwareThread()) {
        return std::nullopt;
    }
    return firmwareDeadline();
}

void Board::maybeYield() {
    if (!runner_.onFirmwareThread()) {
        if (!runner_.started()) {
            // Direct use: nothing to hand over to until startFirmware().
            scheduler_.setCheckpoint(~Cycles{0});
        }
        return;
    }
    const bool reached = scheduler_.now() >= firmwareDeadline();
    if ((reached || runner_.hasCondition()) && runner_.shouldYield(reached)) {
        runner_.yieldToHarness();
    }
    // Until the deadline nothing is to be asked, unless a condition is (at every sim point).
    // A new turn passes through here; a clock change resets the checkpoint.
    scheduler_.setCheckpoint(runner_.hasCondition() ? 0 : firmwareDeadline());
}

void Board::updateDeadline() {
    deadlineCycle_ = scheduler_.cycleAtOrAfter(runner_.deadline());
    deadlineTurn_ = runner_.turnNumber();
    deadlineRate_ = scheduler_.rateGeneration();
}

void Board::delayLoop(uint32_t count) {
    if (!isCpuContext()) {
        return;
    }
    // Three cycles per count; a count of 0 wraps to 2^32 as on the target.
    Cycles remaining = 3 * (count == 0 ? (Cycles{1} << 32) : Cycles{count});
    while (remaining > 0) {
        Cycles step = remaining;
        const Cycles now = scheduler_.now();
        if (const auto next = scheduler_.nextEvent()) {
            step = std::min(step, *next > now ? *next - now : 1);
        }
        if (const auto deadline = deadlineCycle(); deadline && *deadline > now) {
            step = std::min(step, *deadline - now);
        }
        scheduler_.advance(step);
        remaining -= step;
        // Handlers run inside the delay and lengthen it, as they do on the target.
        takeInterrupts();
        maybeYield();
    }
}

void Board::idleHint() {
    if (!isCpuContext()) {
        return;
    }
    ++idleHints_;
    if (activeException_ != 0) {
        // One priority level: nothing can preempt a handler, so its loop never ends.
        stopForGood("spinning for ever in the handler of exception " +
                    std::to_string(activeException_));
    }
    const bool interruptReady = !primask_ && (!injected_.empty() || nvic_.nextPending() != 0);
    if (!interruptReady) {
        std::optional<Cycles> target = scheduler_.nextEvent();
        if (const auto deadline = deadlineCycle()) {
            target = target ? std::min(*target, *deadline) : *deadline;
        }
        if (!target) {
            Abort("the firmware idles with nothing scheduled and no harness deadline");
        }
        scheduler_.advanceTo(std::max(*target, scheduler_.now() + 1));
    }
    takeInterrupts();
    maybeYield();
}

void Board::callAddress(uint32_t address) {
    bootLoaderCall_ = BootLoaderCall{scheduler_.now(), scheduler_.nowPs(),          address,
                                     nvic_.enabled(),  systick_.interruptEnabled(), primask_};
    if (runner_.onFirmwareThread()) {
        stopForGood("entered the boot loader at " + Hex(address));
    }
}

VectorEntry Board::handlerFor(uint32_t exception) {
    if (vectors_ == nullptr || nvic_.vtor() != kImageBase || exception >= vectorCount_) {
        return nullptr;
    }
    return vectors_[exception];
}

void Board::runHandler(uint32_t exception) {
    const VectorEntry handler = handlerFor(exception);
    if (handler == nullptr) {
        raiseFault(
            0, "exception " + std::to_string(exception) + " has no handler in the vector table");
        return;
    }
    const uint32_t interrupted = activeException_;
    nvic_.acknowledge(exception);
    activeException_ = exception;
    monitor_ = nullptr;  // exception entry clears the exclusive monitor
    ++exceptionsTaken_.at(exception);
    handler();
    activeException_ = interrupted;
    monitor_ = nullptr;
    nvic_.complete(exception);
}

void Board::takePendingInterrupts() {
    if (!isCpuContext() || externalCore_.run) {
        return;
    }
    while (activeException_ == 0 && !primask_) {
        if (!injected_.empty()) {
            std::function<void()> fn = std::move(injected_.front());
            injected_.pop_front();
            activeException_ = kExceptionSysTick - 1;  // runs in handler mode, like PendSV
            monitor_ = nullptr;
            fn();
            activeException_ = 0;
            monitor_ = nullptr;
            continue;
        }
        const uint32_t exception = nvic_.nextPending();
        if (exception == 0) {
            return;
        }
        runHandler(exception);
    }
}

void Board::raiseFault(uint32_t address, const std::string& what) {
    faults_.push_back(FaultRecord{scheduler_.now(), address, what});
    if (!runner_.onFirmwareThread()) {
        return;  // direct use and debugger accesses only record the fault
    }
    // A bus fault escalates to the hard fault, whose handler stops the firmware in place.
    const VectorEntry handler = externalCore_.run ? nullptr : handlerFor(3);
    if (handler != nullptr) {
        activeException_ = 3;
        ++exceptionsTaken_.at(3);
        handler();
    }
    stopForGood("hard fault: " + what);
}

void Board::coreFault(uint32_t address, const std::string& what) {
    raiseFault(address, what);
    stopForGood("hard fault: " + what);
}

void Board::checkRegister(const Mapping& mapping, uint32_t offset, uint32_t value, bool write) {
    // Every access passes here: the names are put together only for a warning.
    const Register* reg = FindRegister(mapping.registers, offset);
    const bool unimplemented = reg == nullptr;
    const bool readOnly = !unimplemented && write && reg->access == Access::ReadOnly;
    const bool writeOnly = !unimplemented && !write && reg->access == Access::WriteOnly;
    if (!unimplemented && !readOnly && !writeOnly) {
        return;
    }
    char at[16];
    std::snprintf(at, sizeof(at), "+0x%03X", offset);
    const std::string model = mapping.device->name();
    if (unimplemented) {
        recordWarning(WarningKind::Unimplemented, mapping.base + offset, value,
                      std::string(write ? "store to " : "load from ") + model + " " + at +
                          ": no register there");
    } else if (readOnly) {
        recordWarning(WarningKind::WriteToReadOnly, mapping.base + offset, value,
                      "store to read-only " + model + " " + reg->name + " (" + at + ")");
    } else {
        recordWarning(WarningKind::ReadOfWriteOnly, mapping.base + offset, 0,
                      "load from write-only " + model + " " + reg->name + " (" + at + ")");
    }
}

void Board::recordWarning(WarningKind kind, uint32_t address, uint32_t value, std::string what) {
    const std::lock_guard<std::mutex> lock(g_warningsLock);
    if (g_warnings.size() >= kWarningsKept) {
        ++g_warningsNotKept;
        return;
    }
    g_warnings.push_back(BoardWarning{kind, scheduler_.now(), address, value, std::move(what)});
}

void Board::stopForGood(const std::string& why) {
    if (runner_.onFirmwareThread()) {
        runner_.park(why);
    }
    Abort(why);
}

}  // namespace sim
