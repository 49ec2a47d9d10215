#include "board.hpp"

#include "core.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    uint32_t peek(uint32_t offset, unsigned) override {
        return IsSysTick(offset) ? systick_.peek(offset - kSysTickAt) : nvic_.read(offset);
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
        {nvic::SYS_PRI1, "SYS_PRI", Access::ReadWrite, nvic::kSystemPriorityWords},
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

Board::Board(const BoardConfig& config)
    : config_(config), scheduler_(chip::kInternalOscillatorHz), systick_(scheduler_, nvic_) {
    nvic_.onChange(
        [](void* self) {
            if (Core* core = static_cast<Board*>(self)->core_) {
                core->exceptionsChanged();
            }
        },
        this);
    sysctl_ = std::make_unique<SysCtl>(scheduler_, flash_, config_.sysctl);
    flashController_ = std::make_unique<FlashController>(flash_);
    flashArray_ = std::make_unique<FlashArray>(flash_);

    map(chip::kFlash.base, chip::kFlash.size, *flashArray_);
    map(chip::kFlashController.base, chip::kFlashController.size, *flashController_);
    map(chip::kSystemControl.base, chip::kSystemControl.size, *sysctl_);
    attach<SystemControlSpace>(chip::kSystemControlSpace.base, chip::kSystemControlSpace.size, -1,
                               0, nvic_, systick_);

    for (uint32_t i = 0; i < std::size(chip::kGpioBases); ++i) {
        ports_.push_back(std::make_unique<GpioPort>(static_cast<char>('A' + i), i == 1));
        map(chip::kGpioBases[i], chip::kPeripheralPageSize, *ports_.back(), 2, i);
    }
    AttachPeripheralModels(*this);
}

// The parts go before the models they watch, and the models before the bus that maps them.
Board::~Board() {
    parts_.clear();
    owned_.clear();
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
            warnings_.record(BoardWarning{kind, scheduler_.now(), base + offset, value, what});
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

uint32_t Board::accessSearched(uint32_t address, uint32_t value, unsigned size, bool write,
                              bool processor) {
    Mapping* mapping = search(address);
    if (mapping == nullptr) {
        unmappedFault(address, write);
        return 0;
    }
    if (processor && (*mapping->gate & mapping->gateMask) == 0) {
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

std::optional<uint32_t> Board::peek(uint32_t address, unsigned size) {
    Mapping* mapping = search(address);
    if (mapping == nullptr) {
        return std::nullopt;
    }
    const uint32_t offset = address - mapping->base;
    if (mapping->checked &&
        (mapping->allowed == nullptr || (mapping->allowed[offset] & kLoadAllowed) == 0)) {
        return std::nullopt;  // no register there, or one that cannot be read
    }
    return mapping->device->peek(offset, size);
}

namespace {
// Marks the board's accesses as a debugger's for as long as it lives.
class DebuggerAccess {
  public:
    explicit DebuggerAccess(bool& processorAccess) : flag_(processorAccess) { flag_ = false; }
    ~DebuggerAccess() { flag_ = true; }
    DebuggerAccess(const DebuggerAccess&) = delete;
    DebuggerAccess& operator=(const DebuggerAccess&) = delete;

  private:
    bool& flag_;
};
}  // namespace

uint32_t Board::debugRead(uint32_t address, unsigned size) {
    const DebuggerAccess debugger(processorAccess_);
    return access(address, 0, size, false, false);
}

void Board::debugWrite(uint32_t address, uint32_t value, unsigned size) {
    const DebuggerAccess debugger(processorAccess_);
    access(address, value, size, true, false);
}

void Board::raiseFault(uint32_t address, const std::string& what) {
    recordFault(address, what);
    // A debugger's access only records it; the processor takes its fault.
    if (processorAccess_ && core_ != nullptr) {
        core_->busFault(what);
    }
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
        warnings_.record(BoardWarning{WarningKind::Unimplemented, scheduler_.now(),
                                      mapping.base + offset, value,
                                      std::string(write ? "store to " : "load from ") + model +
                                          " " + at + ": no register there"});
    } else if (readOnly) {
        warnings_.record(BoardWarning{WarningKind::WriteToReadOnly, scheduler_.now(),
                                      mapping.base + offset, value,
                                      "store to read-only " + model + " " + reg->name + " (" +
                                          at + ")"});
    } else {
        warnings_.record(BoardWarning{WarningKind::ReadOfWriteOnly, scheduler_.now(),
                                      mapping.base + offset, 0,
                                      "load from write-only " + model + " " + reg->name + " (" +
                                          at + ")"});
    }
}

}  // namespace sim
