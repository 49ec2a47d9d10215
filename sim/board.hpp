// The simulated board: virtual time, the processor's interrupt state, the bus decoder and the
// models behind it. Firmware register accesses arrive here through the host platform layer.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device.hpp"
#include "flash.hpp"
#include "gpio.hpp"
#include "nvic.hpp"
#include "panel_config.hpp"
#include "runner.hpp"
#include "scheduler.hpp"
#include "sysctl.hpp"
#include "systick.hpp"

namespace sim {

using VectorEntry = void (*)();

struct BoardConfig {
    SysCtlConfig sysctl;
    Cycles accessCost = 2;  // cycles per peripheral register access
    PanelConfig panel;
};

struct FaultRecord {
    Cycles cycle;
    uint32_t address;
    std::string what;
};

// Something the firmware did that the board does not model or that loses data: an access to an
// offset no register answers, a store to a read-only or a load from a write-only register, a
// character the UART drops. The board keeps going; tests assert the list is empty.
struct BoardWarning {
    WarningKind kind;
    Cycles cycle;
    uint32_t address;
    uint32_t value;    // the value stored, the character dropped; 0 for loads
    std::string what;  // names the model and the register
};
std::string Describe(const BoardWarning& warning);

// The warnings of every board this process has had, oldest first. Test teardown asserts the
// list empty; a test that provokes warnings on purpose takes them with TakeBoardWarnings().
std::vector<BoardWarning> BoardWarnings();
std::vector<BoardWarning> TakeBoardWarnings();
// Warnings beyond the first 4096 are only counted (until the next take).
uint64_t BoardWarningsNotKept();

struct BootLoaderCall {
    Cycles cycle;
    Picoseconds time;
    uint32_t address;
    uint64_t nvicEnabled;   // peripheral interrupt enables at the call
    bool sysTickInterrupt;  // SysTick's TICKINT at the call
    bool interruptsMasked;  // PRIMASK at the call
};

struct AccessCounts {
    uint64_t reads = 0;
    uint64_t writes = 0;
};

class Board {
  public:
    static constexpr uint32_t kImageBase = 0x00001800;

    // The process's board; created on first use. Inline: every simulated access asks for it.
    static Board& instance() { return current_ != nullptr ? *current_ : createInstance(); }
    // Replaces the board with a fresh one (only while no firmware thread runs).
    static Board& reset(const BoardConfig& config = {});

    explicit Board(const BoardConfig& config);
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    Scheduler& scheduler() { return scheduler_; }
    Nvic& nvic() { return nvic_; }
    SysTick& systick() { return systick_; }
    SysCtl& sysctl() { return *sysctl_; }
    FlashMemory& flash() { return flash_; }
    GpioPort& gpio(char port);
    Runner& runner() { return runner_; }

    // Attaches a model at [base, base + size); gateRegister/gateBit name its clock gate
    // (RCGC0..2), or gateRegister -1 for an ungated device.
    void map(uint32_t base, uint32_t size, Device& device, int gateRegister = -1,
             uint32_t gateBit = 0);
    // Keeps a model alive for the board's lifetime and maps it.
    template <typename T, typename... Args>
    T& attach(uint32_t base, uint32_t size, int gateRegister, uint32_t gateBit, Args&&... args) {
        auto owned = std::make_unique<T>(std::forward<Args>(args)...);
        T& device = *owned;
        owned_.push_back(std::move(owned));
        map(base, size, device, gateRegister, gateBit);
        return device;
    }

    // Keeps a part that is not on the bus alive for the board's lifetime.
    template <typename T, typename... Args>
    T& addPart(Args&&... args) {
        auto owned = std::make_unique<T>(std::forward<Args>(args)...);
        T& part = *owned;
        parts_.push_back(std::move(owned));
        return part;
    }
    // The first part of type T, or null.
    template <typename T>
    T* findPart() {
        for (auto& part : parts_) {
            if (auto* found = dynamic_cast<T*>(part.get())) {
                return found;
            }
        }
        return nullptr;
    }
    const BoardConfig& config() const { return config_; }
    // The model mapped at an address, or nullptr.
    Device* deviceAt(uint32_t address) {
        Mapping* mapping = find(address);
        return mapping != nullptr ? mapping->device : nullptr;
    }

    // The firmware image's vector table, as the boot loader would leave it: VTOR = 0x1800.
    void setVectorTable(const VectorEntry* table, uint32_t entries);
    // Starts the firmware at its reset entry on the firmware thread.
    void startFirmware();

    // --- Processor side: what the firmware's register accesses and core instructions do. ---
    // Inline, with access() below, into the platform layer's calls: the simulator's hottest path.
    [[gnu::always_inline]] uint32_t cpuRead(uint32_t address, unsigned size) {
        if (!isCpuContext()) [[unlikely]] {
            return debugRead(address, size);
        }
        const uint32_t value = access(address, 0, size, false, true);
        simPoint(config_.accessCost);
        return value;
    }
    [[gnu::always_inline]] void cpuWrite(uint32_t address, uint32_t value, unsigned size) {
        if (!isCpuContext()) [[unlikely]] {
            debugWrite(address, value, size);
            return;
        }
        access(address, value, size, true, true);
        simPoint(config_.accessCost);
    }
    uint32_t interruptsOff();
    uint32_t interruptsOn();
    uint8_t loadExclusive(volatile uint8_t* address);
    uint32_t storeExclusive(volatile uint8_t* address, uint8_t value);
    void delayLoop(uint32_t count);
    void idleHint();
    void callAddress(uint32_t address);

    // --- Debugger side: the harness inspecting or changing the board; no time passes. ---
    uint32_t debugRead(uint32_t address, unsigned size = 4);
    void debugWrite(uint32_t address, uint32_t value, unsigned size = 4);

    // Runs fn as an interrupt handler at the firmware's next sim point (test tooling).
    void injectInterrupt(std::function<void()> fn) { injected_.push_back(std::move(fn)); }

    // --- An emulated core running the real image in place of the host-compiled firmware. ---
    struct ExternalCore {
        std::function<void()> run;      // its run loop, started on the firmware thread
        std::function<bool()> primask;  // its interrupt mask
    };
    // From then on the core takes exceptions itself; the host vector table is not used.
    void setExternalCore(ExternalCore core) { externalCore_ = std::move(core); }
    bool hasExternalCore() const { return static_cast<bool>(externalCore_.run); }
    // Time spent by the core's instructions: a sim point (events run, the harness may take over).
    void coreAdvance(Cycles cycles) { simPoint(cycles); }
    // The cycle at which the harness wants the firmware stopped, if it runs on the firmware thread.
    std::optional<Cycles> coreDeadline() { return deadlineCycle(); }
    // Something the core met that the processor would fault on: recorded, and the firmware stops.
    [[noreturn]] void coreFault(uint32_t address, const std::string& what);

    // --- State for tests and tools. ---
    bool interruptsMasked() const {
        return externalCore_.primask ? externalCore_.primask() : primask_;
    }
    bool inHandler() const { return activeException_ != 0; }
    uint32_t activeException() const { return activeException_; }
    const std::vector<FaultRecord>& faults() const { return faults_; }
    const std::optional<BootLoaderCall>& bootLoaderCall() const { return bootLoaderCall_; }
    uint64_t idleHints() const { return idleHints_; }
    uint64_t exceptionsTaken(uint32_t exception) const { return exceptionsTaken_.at(exception); }
    AccessCounts accessCounts(const std::string& deviceName) const;
    double nowMs() const { return scheduler_.nowMs(); }

  private:
    // What the register table allows at each byte of a mapping, so that an access that is
    // in order costs one table load; the warning is put together only on a miss.
    enum : uint8_t { kLoadAllowed = 1, kStoreAllowed = 2 };
    // Mappings up to this size get the table (the peripherals; not flash, which has none).
    static constexpr uint32_t kAllowedTableLimit = 0x10000;

    struct Mapping {
        uint32_t base;
        uint32_t size;
        Device* device;
        GpioPort* port;        // the device when it is a GPIO port, called directly
        const uint32_t* gate;  // its run-mode clock gate word (&kAlwaysOn for none)
        uint32_t gateMask;     // its bit in *gate
        bool checked;          // the model declares registers: accesses are checked
        // kLoadAllowed | kStoreAllowed by offset (null for a checked mapping too large for
        // the table: the register table is searched on every access then).
        const uint8_t* allowed;
        AccessCounts counts;
        RegisterTable registers;
        std::unique_ptr<uint8_t[]> allowedTable;  // owns allowed (and keeps Mapping move-only)
    };
    // A 4 KB page of peripheral space as the fast path needs it, all in one place.
    struct alignas(64) Page {
        Mapping* mapping;        // null: not mapped by page (searched)
        const uint8_t* allowed;  // the mapping's table from this page's first byte
        const uint32_t* gate;
        uint32_t gateMask;
        // The GPIO port whose data addresses start this page, when its table lets every one of
        // them be stored: such a store needs no check (the display bus's stores, above all).
        GpioPort* dataPort;
    };
    static constexpr uint32_t kPeripheralBase = 0x40000000;
    static constexpr size_t kPages = 256;  // 0x40000000-0x400FFFFF
    static constexpr uint32_t kPageSize = 0x1000;
    // The gate word of a device without a clock gate, and the table of a model that declares
    // no registers (plain memory: nothing is checked).
    static constexpr uint32_t kAlwaysOn = ~0u;
    static constexpr std::array<uint8_t, kPageSize> kAllAllowed = [] {
        std::array<uint8_t, kPageSize> table{};
        table.fill(kLoadAllowed | kStoreAllowed);
        return table;
    }();

    static Board& createInstance();
    inline static Board* current_ = nullptr;

    bool isCpuContext() const { return !runner_.started() || runner_.onFirmwareThread(); }
    Mapping* find(uint32_t address) {
        const uint32_t page = (address - kPeripheralBase) / kPageSize;
        if (page < kPages && pages_[page].mapping != nullptr) {
            return pages_[page].mapping;
        }
        return search(address);
    }
    Mapping* search(uint32_t address);
    // The hot path of every simulated access is inline here: the peripherals by page (GPIO
    // above all), a bit test for the register check, a direct call for the GPIO data lines.
    // Everything else, and all the rare work, is out of line.
    [[gnu::always_inline]] uint32_t access(uint32_t address, uint32_t value, unsigned size,
                                           bool write, bool enforceGates) {
        currentAddress_ = address;
        const uint32_t page = (address - kPeripheralBase) / kPageSize;
        if (page >= kPages || pages_[page].mapping == nullptr) [[unlikely]] {
            return accessSearched(address, value, size, write, enforceGates);
        }
        const Page& p = pages_[page];
        if (enforceGates && (*p.gate & p.gateMask) == 0) [[unlikely]] {
            gatedFault(*p.mapping, address);
            return 0;
        }
        if (write && p.dataPort != nullptr && address % kPageSize < gpio::DIR) [[likely]] {
            ++p.mapping->counts.writes;
            p.dataPort->storeData(address % kPageSize, value);
            return 0;
        }
        const uint32_t offset = address - p.mapping->base;
        if ((p.allowed[address % kPageSize] & (write ? kStoreAllowed : kLoadAllowed)) == 0)
            [[unlikely]] {
            checkRegister(*p.mapping, offset, value, write);
        }
        return deliver(*p.mapping, offset, value, size, write);
    }
    uint32_t accessSearched(uint32_t address, uint32_t value, unsigned size, bool write,
                            bool enforceGates);
    static uint32_t deliver(Mapping& mapping, uint32_t offset, uint32_t value, unsigned size,
                            bool write) {
        if (write) {
            ++mapping.counts.writes;
            if (mapping.port != nullptr && offset < gpio::DIR) [[likely]] {
                mapping.port->storeData(offset, value);
            } else {
                mapping.device->write(offset, value, size);
            }
            return 0;
        }
        ++mapping.counts.reads;
        return mapping.device->read(offset, size);
    }
    [[gnu::cold]] void unmappedFault(uint32_t address, bool write);
    [[gnu::cold]] void gatedFault(const Mapping& mapping, uint32_t address);
    void simPoint(Cycles cost) {
        scheduler_.advance(cost);
        takeInterrupts();
        if (scheduler_.pastCheckpoint()) [[unlikely]] {
            maybeYield();
        }
    }
    void takeInterrupts() {
        // Asked after every access: usually nothing is pending at all.
        if (!nvic_.anyReady() && injected_.empty()) [[likely]] {
            return;
        }
        takePendingInterrupts();
    }
    void takePendingInterrupts();
    void runHandler(uint32_t exception);
    VectorEntry handlerFor(uint32_t exception);
    void raiseFault(uint32_t address, const std::string& what);
    [[gnu::cold]] void checkRegister(const Mapping& mapping, uint32_t offset, uint32_t value, bool write);
    void recordWarning(WarningKind kind, uint32_t address, uint32_t value, std::string what);
    [[noreturn]] void stopForGood(const std::string& why);
    // Hands over to the harness when its deadline is reached or its condition holds, and sets
    // the scheduler's checkpoint to the next sim point that needs asking again.
    void maybeYield();
    std::optional<Cycles> deadlineCycle();
    Cycles firmwareDeadline() {
        if (runner_.turnNumber() != deadlineTurn_ || scheduler_.rateGeneration() != deadlineRate_) {
            updateDeadline();
        }
        return deadlineCycle_;
    }
    void updateDeadline();
    void mapPages();

    BoardConfig config_;
    Scheduler scheduler_;
    Nvic nvic_;
    SysTick systick_;
    FlashMemory flash_;
    std::unique_ptr<SysCtl> sysctl_;
    std::unique_ptr<FlashController> flashController_;
    std::unique_ptr<FlashArray> flashArray_;
    std::vector<std::unique_ptr<GpioPort>> ports_;
    std::vector<std::unique_ptr<Device>> owned_;
    std::vector<std::unique_ptr<Part>> parts_;
    std::vector<Mapping> mappings_;
    Runner runner_;

    ExternalCore externalCore_;
    const VectorEntry* vectors_ = nullptr;
    uint32_t vectorCount_ = 0;
    bool primask_ = false;
    const volatile uint8_t* monitor_ = nullptr;
    uint32_t activeException_ = 0;
    uint32_t currentAddress_ = 0;
    std::deque<std::function<void()>> injected_;
    std::vector<FaultRecord> faults_;
    std::optional<BootLoaderCall> bootLoaderCall_;
    uint64_t idleHints_ = 0;
    std::array<uint64_t, 64> exceptionsTaken_{};
    // The harness deadline as a cycle, recomputed only when the turn or the clock rate changes.
    Cycles deadlineCycle_ = 0;
    uint64_t deadlineTurn_ = ~0ull;
    uint64_t deadlineRate_ = ~0ull;
    // Peripheral space by 4 KB page.
    std::array<Page, kPages> pages_{};
};

std::string Hex(uint32_t value);

// Attaches the board's peripheral models beyond the core ones (board_models.cpp).
void AttachPeripheralModels(Board& board);

}  // namespace sim
