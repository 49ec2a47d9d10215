// Core-instruction wrappers: the processor's interrupt mask and exclusive byte access.
#pragma once

#include <cstdint>

#include "platform_hwreg.hpp"

// Masks processor interrupts; returns 1 if they were masked already, else 0.
inline uint32_t CPUInterruptsOff() {
    return platform::InterruptsOff();
}

// Unmasks processor interrupts; returns 1 if they were masked before, else 0.
inline uint32_t CPUInterruptsOn() {
    return platform::InterruptsOn();
}

// Restores a mask state returned by CPUInterruptsOff or CPUInterruptsOn.
inline void CPUInterruptsRestore(uint32_t wasMasked) {
    if (wasMasked == 0) {
        platform::InterruptsOn();
    } else {
        platform::InterruptsOff();
    }
}

inline uint8_t CPULoadExclusiveByte(volatile uint8_t* address) {
    return platform::LoadExclusiveByte(address);
}

// 0 when the store took place, non-zero when an interrupt came between the load and the store.
inline uint32_t CPUStoreExclusiveByte(volatile uint8_t* address, uint8_t value) {
    return platform::StoreExclusiveByte(address, value);
}
