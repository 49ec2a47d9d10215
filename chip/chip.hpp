// The chip's facts as C++ sees them: regions that can say what they hold, the peripheral table
// and the crystal table. Built from chip_facts.h, which stays the one place the numbers live.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chip_facts.h"

namespace chip {

// A range of the address space.
struct Region {
    uint32_t base;
    uint32_t size;

    constexpr uint64_t end() const { return uint64_t{base} + size; }
    constexpr bool contains(uint32_t address) const {
        return address >= base && address - base < size;
    }
    // Whether all of [address, address + length) lies inside (an empty range at the end does).
    constexpr bool contains(uint32_t address, uint64_t length) const {
        return address >= base && address - base <= size && length <= size - (address - base);
    }
};

inline constexpr Region kFlash{CHIP_FLASH_BASE, CHIP_FLASH_SIZE};
inline constexpr uint32_t kFlashBlockSize = CHIP_FLASH_BLOCK_SIZE;
inline constexpr uint32_t kFlashPageSize = CHIP_FLASH_PAGE_SIZE;
inline constexpr Region kBootLoader{CHIP_BOOT_BASE, CHIP_BOOT_SIZE};
inline constexpr uint32_t kBootUpdateEntrySlot = CHIP_BOOT_UPDATE_ENTRY_SLOT;
inline constexpr uint32_t kImageBase = CHIP_IMAGE_BASE;
inline constexpr Region kParameterArea{CHIP_PARAM_BASE, CHIP_PARAM_SIZE};
inline constexpr uint32_t kParameterPageSize = CHIP_PARAM_PAGE_SIZE;
inline constexpr uint32_t kParameterPages = CHIP_PARAM_PAGES;
// Where the image may lie: from its base up to the parameter area.
inline constexpr Region kImageArea{CHIP_IMAGE_BASE, CHIP_PARAM_BASE - CHIP_IMAGE_BASE};

inline constexpr Region kSram{CHIP_SRAM_BASE, CHIP_SRAM_SIZE};
inline constexpr Region kPeripherals{CHIP_PERIPH_BASE, CHIP_PERIPH_SIZE};
inline constexpr uint32_t kPeripheralPageSize = CHIP_PERIPH_PAGE_SIZE;
inline constexpr Region kPrivateBus{CHIP_PRIVATE_BUS_BASE, CHIP_PRIVATE_BUS_SIZE};
inline constexpr Region kSystemControlSpace{CHIP_SCS_BASE, CHIP_SCS_SIZE};

// The peripherals the firmware drives and the board models, each on its own page(s).
struct Peripheral {
    const char* name;
    Region region;
};
inline constexpr uint32_t kGpioBases[7] = {CHIP_GPIO_A_BASE, CHIP_GPIO_B_BASE, CHIP_GPIO_C_BASE,
                                           CHIP_GPIO_D_BASE, CHIP_GPIO_E_BASE, CHIP_GPIO_F_BASE,
                                           CHIP_GPIO_G_BASE};
inline constexpr Region kUart1{CHIP_UART1_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kTimer0{CHIP_TIMER0_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kTimer1{CHIP_TIMER1_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kTimer2{CHIP_TIMER2_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kTimer3{CHIP_TIMER3_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kAdc0{CHIP_ADC0_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kFlashController{CHIP_FLASH_CTRL_BASE, CHIP_PERIPH_PAGE_SIZE};
inline constexpr Region kSystemControl{CHIP_SYSCTL_BASE, CHIP_PERIPH_PAGE_SIZE};

inline constexpr Peripheral kPeripheralTable[] = {
    {"GPIO A", {CHIP_GPIO_A_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"GPIO B", {CHIP_GPIO_B_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"GPIO C", {CHIP_GPIO_C_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"GPIO D", {CHIP_GPIO_D_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"GPIO E", {CHIP_GPIO_E_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"GPIO F", {CHIP_GPIO_F_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"GPIO G", {CHIP_GPIO_G_BASE, CHIP_PERIPH_PAGE_SIZE}},
    {"UART1", kUart1},
    {"timer 0", kTimer0},
    {"timer 1", kTimer1},
    {"timer 2", kTimer2},
    {"timer 3", kTimer3},
    {"ADC 0", kAdc0},
    {"flash controller", kFlashController},
    {"system control", kSystemControl},
};

// Peripheral interrupt lines.
inline constexpr uint32_t kPeripheralInterrupts = CHIP_PERIPHERAL_IRQS;
inline constexpr uint32_t kUart1Irq = CHIP_IRQ_UART1;
inline constexpr uint32_t kAdc0Sequence3Irq = CHIP_IRQ_ADC0_SEQUENCE3;
constexpr uint32_t TimerIrqA(uint32_t timer) {
    return CHIP_IRQ_TIMER0_A + 2 * timer;
}
constexpr uint32_t TimerIrqB(uint32_t timer) {
    return TimerIrqA(timer) + 1;
}
static_assert(TimerIrqB(2) == CHIP_IRQ_TIMER2_B && TimerIrqA(3) < kPeripheralInterrupts);

// Crystal frequency by RCC XTAL field value.
inline constexpr uint32_t kCrystalHz[] = {CHIP_CRYSTAL_HZ_BY_XTAL_FIELD};
inline constexpr uint32_t kInternalOscillatorHz = CHIP_INTERNAL_OSC_HZ;
inline constexpr uint32_t kPllHz = CHIP_PLL_HZ;
inline constexpr uint32_t kMaxClockHz = CHIP_MAX_CLOCK_HZ;
inline constexpr uint32_t kBoardCrystalHz = CHIP_BOARD_CRYSTAL_HZ;

// The layout holds together: the boot loader, the image area and the parameter area tile flash;
// the parameter area is its pages; every peripheral is page-aligned inside its region, with no
// two on one page.
static_assert(kBootLoader.base == kFlash.base && kBootLoader.end() == kImageBase);
static_assert(kBootLoader.size % kFlashBlockSize == 0, "protection covers the loader exactly");
static_assert(kImageArea.end() == kParameterArea.base && kParameterArea.end() == kFlash.end());
static_assert(kParameterArea.size == kParameterPages * kParameterPageSize);
static_assert(kBootLoader.contains(kBootUpdateEntrySlot, 4));
static_assert(kPrivateBus.contains(kSystemControlSpace.base, kSystemControlSpace.size));
static_assert(kSystemControlSpace.contains(CHIP_SCB_VTOR, 4));
static_assert(sizeof(kCrystalHz) / sizeof(kCrystalHz[0]) == 16, "one entry per XTAL field value");
static_assert(kCrystalHz[0xE] == kBoardCrystalHz, "the board's crystal is XTAL field 0xE");

constexpr bool PeripheralsArePaged() {
    constexpr size_t count = sizeof(kPeripheralTable) / sizeof(kPeripheralTable[0]);
    for (size_t i = 0; i < count; ++i) {
        const Region& r = kPeripheralTable[i].region;
        if (!kPeripherals.contains(r.base, r.size) || r.base % kPeripheralPageSize != 0) {
            return false;
        }
        for (size_t j = i + 1; j < count; ++j) {
            const Region& other = kPeripheralTable[j].region;
            if (r.base < other.end() && other.base < r.end()) {
                return false;
            }
        }
    }
    return true;
}
static_assert(PeripheralsArePaged());

}  // namespace chip
