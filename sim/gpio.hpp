// A GPIO port: masked data access, direction, alternate function, pad control, lock and commit.
// Other models attach to its pins: they read the levels the port drives and supply the levels
// of pins that are inputs or given to a peripheral.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device.hpp"

namespace sim {

// A GPIO port's registers, offsets from its base, each followed by its fields. Every register
// holds one bit per pin.
namespace gpio {
enum : uint32_t {
    DATA = 0x000,  // 256 words: address bits 9-2 mask the pins an access touches
    kDataWords = 256,
    DATA_MASK_SHIFT = 2,
    DIR = 0x400,
    IS = 0x404,
    IBE = 0x408,
    IEV = 0x40C,
    IM = 0x410,
    RIS = 0x414,
    MIS = 0x418,
    ICR = 0x41C,
    AFSEL = 0x420,
    DR2R = 0x500,
    DR4R = 0x504,
    DR8R = 0x508,
    ODR = 0x50C,
    PUR = 0x510,
    PDR = 0x514,
    SLR = 0x518,
    DEN = 0x51C,
    LOCK = 0x520,  // write the key to unlock CR; reads 1 while locked
    LOCK_KEY = 0x1ACCE551,
    CR = 0x524,
};
inline constexpr Register kRegisters[] = {
    {DATA, "DATA", Access::ReadWrite, kDataWords},
    {DIR, "DIR"},
    {IM, "IM"},
    {AFSEL, "AFSEL"},
    {DR2R, "DR2R"},
    {DR4R, "DR4R"},
    {DR8R, "DR8R"},
    {ODR, "ODR"},
    {PUR, "PUR"},
    {PDR, "PDR"},
    {DEN, "DEN"},
    {LOCK, "LOCK"},
    {CR, "CR"},
};
}  // namespace gpio

class GpioPort : public Device {
  public:
    GpioPort(char letter, bool pin7Locked);

    std::string name() const override { return std::string("GPIO port ") + letter_; }
    RegisterTable registers() const override { return gpio::kRegisters; }
    uint32_t read(uint32_t offset, unsigned size) override;
    void write(uint32_t offset, uint32_t value, unsigned size) override;

    char letter() const { return letter_; }
    uint8_t outputLatch() const { return data_; }
    uint8_t direction() const { return dir_; }
    uint8_t alternate() const { return afsel_; }
    uint8_t digitalEnable() const { return den_; }
    uint8_t commit() const { return cr_; }
    bool locked() const { return locked_; }

    // Pins the port itself drives: outputs that are not given to a peripheral.
    uint8_t drivenPins() const { return driven_; }
    // Levels on the pins: driven pins show the latch, the others what the outside supplies.
    uint8_t pinLevels() const {
        if (drivenPins() == 0xFF) [[likely]] {
            return data_;  // the outside is not asked when the port drives every pin
        }
        return mixedLevels();
    }

    // A store to the masked data registers (offset below DIR), the display bus's hot path;
    // write() does the same for such an offset.
    void storeData(uint32_t offset, uint32_t value) {
        // The attached models see levels, so a store that changes no bit of the latch tells
        // them nothing.
        const auto mask = static_cast<uint8_t>((offset >> gpio::DATA_MASK_SHIFT) & 0xFFu);
        const auto data = static_cast<uint8_t>((data_ & ~mask) | (value & mask));
        if (data != data_) [[likely]] {  // the display bus stores only changes
            data_ = data;
            notify();
        }
    }

    // The outside world's levels for the pins the port does not drive.
    void setExternalSource(std::function<uint8_t()> source) { external_ = std::move(source); }
    // Called after every change of data, direction or alternate function.
    void addListener(std::function<void(const GpioPort&)> listener) {
        listeners_.push_back(std::move(listener));
    }
    // One listener as a plain function, called first: the display bus's control pins, which see
    // two changes a pixel.
    using Watcher = void (*)(void* context, const GpioPort& port);
    void setWatcher(Watcher watcher, void* context) {
        watcher_ = watcher;
        watcherContext_ = context;
    }

  private:
    void notify() {
        if (watcher_ != nullptr) {
            watcher_(watcherContext_, *this);
        }
        if (!listeners_.empty()) {
            notifyListeners();
        }
    }
    void notifyListeners();
    // After a change of direction or alternate function.
    void updateDriven() { driven_ = static_cast<uint8_t>(dir_ & ~afsel_); }
    uint8_t mixedLevels() const;

    char letter_;
    uint8_t data_ = 0;
    uint8_t dir_ = 0;
    uint8_t afsel_ = 0;
    uint8_t driven_ = 0;  // drivenPins(), kept by updateDriven()
    uint8_t interruptMask_ = 0;
    uint8_t drive2mA_ = 0xFF;
    uint8_t drive4mA_ = 0;
    uint8_t drive8mA_ = 0;
    uint8_t openDrain_ = 0;
    uint8_t pullUp_ = 0;
    uint8_t pullDown_ = 0;
    uint8_t den_ = 0;
    uint8_t cr_ = 0xFF;
    uint8_t protected_ = 0;  // pins whose commit bit is writable
    bool locked_ = true;
    std::function<uint8_t()> external_;
    std::vector<std::function<void(const GpioPort&)>> listeners_;
    Watcher watcher_ = nullptr;
    void* watcherContext_ = nullptr;
};

}  // namespace sim
