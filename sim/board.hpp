// The simulated board: virtual time, the bus decoder and the models behind it. The processor's
// accesses arrive here from the host core (the host-compiled firmware) or the emulated core.
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

#include "chip.hpp"
#include "device.hpp"
#include "flash.hpp"
#include "gpio.hpp"
#include "nvic.hpp"
#include "panel_config.hpp"
#include "scheduler.hpp"
#include "sysctl.hpp"
#include "systick.hpp"
#include "warnings.hpp"

namespace sim {

class Core;

struct BoardConfig {
    SysCtlConfig sysctl;
    Cycles accessCost = 2;  // cycles a peripheral register access holds the bus
    PanelConfig panel;
};

struct FaultRecord {
    Cycles cycle;
    uint32_t address;
    std::string what;
};

struct AccessCounts {
    uint64_t reads = 0;
    uint64_t writes = 0;
};

// The board: the bus with its models and their wiring, and the socket the processor sits in.
// It keeps no processor state and charges no time: the processor (core.hpp) does both, for the
// host-compiled firmware and for the real image alike. Boards are ordinary objects; any number
// can live side by side in one process.
class Board {
  public:
    explicit Board(const BoardConfig& config = {});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    Scheduler& scheduler() { return scheduler_; }
    const Scheduler& scheduler() const { return scheduler_; }
    Nvic& nvic() { return nvic_; }
    SysTick& systick() { return systick_; }
    SysCtl& sysctl() { return *sysctl_; }
    FlashMemory& flash() { return flash_; }
    GpioPort& gpio(char port);

    // The processor fitted to the board: the models' interrupts and faults reach it.
    void fitCore(Core* core) { core_ = core; }
    Core* core() const { return core_; }

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

    // --- The processor's accesses: clock gates enforced, faults reported to the processor. ---
    // Inline, with access() below: the simulator's hottest path.
    [[gnu::always_inline]] uint32_t cpuRead(uint32_t address, unsigned size) {
        return access(address, 0, size, false, true);
    }
    [[gnu::always_inline]] void cpuWrite(uint32_t address, uint32_t value, unsigned size) {
        access(address, value, size, true, true);
    }
    // --- A debugger's accesses: no gates, a fault only recorded. ---
    uint32_t debugRead(uint32_t address, unsigned size = 4);
    // What the processor would read there, without the read's effects (the receive FIFOs keep
    // their data, SysTick its COUNTFLAG); nothing where no readable register is.
    std::optional<uint32_t> peek(uint32_t address, unsigned size = 4);
    void debugWrite(uint32_t address, uint32_t value, unsigned size = 4);

    // What the firmware did that the board does not model or that loses data.
    WarningLog& warnings() { return warnings_; }
    // Accesses the bus answered with a fault, oldest first.
    const std::vector<FaultRecord>& faults() const { return faults_; }
    // A fault the processor met off the bus (a missing vector, say), recorded with the others.
    void recordFault(uint32_t address, const std::string& what) {
        faults_.push_back(FaultRecord{scheduler_.now(), address, what});
    }
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
    static constexpr uint32_t kPeripheralBase = chip::kPeripherals.base;
    static constexpr uint32_t kPageSize = chip::kPeripheralPageSize;
    static constexpr size_t kPages = chip::kPeripherals.size / kPageSize;
    // The gate word of a device without a clock gate, and the table of a model that declares
    // no registers (plain memory: nothing is checked).
    static constexpr uint32_t kAlwaysOn = ~0u;
    static constexpr std::array<uint8_t, kPageSize> kAllAllowed = [] {
        std::array<uint8_t, kPageSize> table{};
        table.fill(kLoadAllowed | kStoreAllowed);
        return table;
    }();

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
                                           bool write, bool processor) {
        currentAddress_ = address;
        const uint32_t page = (address - kPeripheralBase) / kPageSize;
        if (page >= kPages || pages_[page].mapping == nullptr) [[unlikely]] {
            return accessSearched(address, value, size, write, processor);
        }
        const Page& p = pages_[page];
        if (processor && (*p.gate & p.gateMask) == 0) [[unlikely]] {
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
                            bool processor);
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
    void raiseFault(uint32_t address, const std::string& what);
    [[gnu::cold]] void checkRegister(const Mapping& mapping, uint32_t offset, uint32_t value, bool write);
    void mapPages();

    BoardConfig config_;
    Scheduler scheduler_;
    Nvic nvic_;
    SysTick systick_;
    FlashMemory flash_;
    WarningLog warnings_;
    std::unique_ptr<SysCtl> sysctl_;
    std::unique_ptr<FlashController> flashController_;
    std::unique_ptr<FlashArray> flashArray_;
    std::vector<std::unique_ptr<GpioPort>> ports_;
    std::vector<std::unique_ptr<Device>> owned_;
    std::vector<std::unique_ptr<Part>> parts_;
    std::vector<Mapping> mappings_;
    Core* core_ = nullptr;
    uint32_t currentAddress_ = 0;
    // False only during a debugger's access (set around it, so the processor's path stores nothing).
    bool processorAccess_ = true;
    std::vector<FaultRecord> faults_;
    // Peripheral space by 4 KB page.
    std::array<Page, kPages> pages_{};
};

std::string Hex(uint32_t value);

// Attaches the board's peripheral models beyond the core ones (board_wiring.cpp).
void AttachPeripheralModels(Board& board);

}  // namespace sim
