// The minimal boot loader at the bottom of flash. At reset it points VTOR at the firmware image
// just above it, loads the image's stack pointer and jumps to its reset entry. Its SVCall slot is
// the firmware-update entry; this loader has no update protocol, so that entry waits for a reset.
#include <cstdint>

#include "chip_facts.h"

namespace {

constexpr uint32_t kImageBase = CHIP_IMAGE_BASE;
constexpr uint32_t kVtor = CHIP_SCB_VTOR;
constexpr uint32_t kRamTop = CHIP_SRAM_BASE + CHIP_SRAM_SIZE;

using VectorEntry = void (*)();

[[noreturn]] void BootReset() {
    *reinterpret_cast<volatile uint32_t*>(kVtor) = kImageBase;
    const uint32_t stack = *reinterpret_cast<const volatile uint32_t*>(kImageBase);
    const uint32_t entry = *reinterpret_cast<const volatile uint32_t*>(kImageBase + 4);
    __asm volatile(
        "msr msp, %0\n\t"
        "bx %1"
        :
        : "r"(stack), "r"(entry)
        : "memory");
    __builtin_unreachable();
}

[[noreturn]] void BootWaitForReset() {
    for (;;) {
    }
}

}  // namespace

// clang-format off
__attribute__((section(".boot_vectors"), used))
const VectorEntry g_pfnBootVectors[16] = {
    reinterpret_cast<VectorEntry>(kRamTop),  //  0 initial stack pointer
    BootReset,                               //  1 reset
    BootWaitForReset,                        //  2 NMI
    BootWaitForReset,                        //  3 hard fault
    BootWaitForReset,                        //  4 memory management fault
    BootWaitForReset,                        //  5 bus fault
    BootWaitForReset,                        //  6 usage fault
    nullptr, nullptr, nullptr, nullptr,      //  7-10 reserved
    BootWaitForReset,                        // 11 SVCall: the firmware-update entry
    BootWaitForReset,                        // 12 debug monitor
    nullptr,                                 // 13 reserved
    BootWaitForReset,                        // 14 PendSV
    BootWaitForReset,                        // 15 SysTick
};
// clang-format on
