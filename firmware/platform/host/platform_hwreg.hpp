// Register access and core instructions on the host.
//
// HWREG/HWREGB yield a small proxy: reading converts through the simulated bus, assigning and
// compound assignment write through it (compound assignment is a read followed by a write, as on
// the target). The functions declared in hostbus are implemented by the simulator; the firmware
// never includes a simulator header.
#pragma once

#include <cstdint>

namespace hostbus {
uint32_t Read32(uint32_t address);
void Write32(uint32_t address, uint32_t value);
uint8_t Read8(uint32_t address);
void Write8(uint32_t address, uint8_t value);

uint32_t InterruptsOff();
uint32_t InterruptsOn();
uint8_t LoadExclusiveByte(volatile uint8_t* address);
uint32_t StoreExclusiveByte(volatile uint8_t* address, uint8_t value);
void DelayLoop(uint32_t count);
void IdleHint();
void CallAddress(uint32_t address);
const uint8_t* FlashBytes(uint32_t address);
}  // namespace hostbus

template <typename T>
class HostRegister {
  public:
    explicit HostRegister(uint32_t address) : address_(address) {}

    operator T() const { return Load(); }  // NOLINT(google-explicit-constructor): register reads
    HostRegister& operator=(T value) {
        Store(value);
        return *this;
    }
    HostRegister& operator=(const HostRegister& other) {
        Store(other.Load());
        return *this;
    }
    HostRegister& operator|=(T value) { return *this = static_cast<T>(Load() | value); }
    HostRegister& operator&=(T value) { return *this = static_cast<T>(Load() & value); }
    HostRegister& operator^=(T value) { return *this = static_cast<T>(Load() ^ value); }
    HostRegister& operator+=(T value) { return *this = static_cast<T>(Load() + value); }
    HostRegister& operator-=(T value) { return *this = static_cast<T>(Load() - value); }

  private:
    T Load() const {
        if constexpr (sizeof(T) == 1) {
            return hostbus::Read8(address_);
        } else {
            return hostbus::Read32(address_);
        }
    }
    void Store(T value) {
        if constexpr (sizeof(T) == 1) {
            hostbus::Write8(address_, value);
        } else {
            hostbus::Write32(address_, value);
        }
    }

    uint32_t address_;
};

inline HostRegister<uint32_t> HWREG(uint32_t address) {
    return HostRegister<uint32_t>(address);
}

inline HostRegister<uint8_t> HWREGB(uint32_t address) {
    return HostRegister<uint8_t>(address);
}

namespace platform {
inline uint32_t InterruptsOff() {
    return hostbus::InterruptsOff();
}
inline uint32_t InterruptsOn() {
    return hostbus::InterruptsOn();
}
inline uint8_t LoadExclusiveByte(volatile uint8_t* address) {
    return hostbus::LoadExclusiveByte(address);
}
inline uint32_t StoreExclusiveByte(volatile uint8_t* address, uint8_t value) {
    return hostbus::StoreExclusiveByte(address, value);
}
inline void DelayLoop(uint32_t count) {
    hostbus::DelayLoop(count);
}
inline void IdleHint() {
    hostbus::IdleHint();
}
inline void CallAddress(uint32_t address) {
    hostbus::CallAddress(address);
}
inline const uint8_t* FlashBytes(uint32_t address) {
    return hostbus::FlashBytes(address);
}
}  // namespace platform
