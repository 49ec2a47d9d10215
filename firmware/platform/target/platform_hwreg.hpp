// Register access and core instructions on the Cortex-M3 target.
//
// Every peripheral access of the firmware goes through HWREG/HWREGB; on the target they are plain
// volatile accesses, so the code the compiler emits is a single load or store.
#pragma once

#include <cstdint>

inline volatile uint32_t& HWREG(uint32_t address) {
    return *reinterpret_cast<volatile uint32_t*>(address);
}

inline volatile uint8_t& HWREGB(uint32_t address) {
    return *reinterpret_cast<volatile uint8_t*>(address);
}

namespace platform {

// Masks interrupts (PRIMASK = 1) and returns the previous mask state (1 = was masked).
inline uint32_t InterruptsOff() {
    uint32_t previous;
    __asm volatile("mrs %0, primask\n\tcpsid i" : "=r"(previous) : : "memory");
    return previous & 1u;
}

// Unmasks interrupts (PRIMASK = 0) and returns the previous mask state (1 = was masked).
inline uint32_t InterruptsOn() {
    uint32_t previous;
    __asm volatile("mrs %0, primask\n\tcpsie i" : "=r"(previous) : : "memory");
    return previous & 1u;
}

inline uint8_t LoadExclusiveByte(volatile uint8_t* address) {
    uint32_t value;
    __asm volatile("ldrexb %0, [%1]" : "=r"(value) : "r"(address) : "memory");
    return static_cast<uint8_t>(value);
}

// Returns 0 when the store happened, 1 when the exclusive monitor was lost.
inline uint32_t StoreExclusiveByte(volatile uint8_t* address, uint8_t value) {
    uint32_t failed;
    __asm volatile("strexb %0, %2, [%1]"
                   : "=&r"(failed)
                   : "r"(address), "r"(static_cast<uint32_t>(value))
                   : "memory");
    return failed;
}

// Three cycles per count: subtract, then a taken branch.
inline void DelayLoop(uint32_t count) {
    __asm volatile(
        "1: subs %0, #1\n\t"
        "bne 1b"
        : "+r"(count)
        :
        : "cc");
}

// The main loop's "nothing to do" hint: the target keeps spinning.
inline void IdleHint() {}

// Calls the routine at a code address (the boot loader's update entry).
inline void CallAddress(uint32_t address) {
    reinterpret_cast<void (*)()>(address)();
}

// Read-only view of flash memory at a flash address.
inline const uint8_t* FlashBytes(uint32_t address) {
    return reinterpret_cast<const uint8_t*>(address);
}

}  // namespace platform
