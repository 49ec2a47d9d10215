#include "periph/uart.hpp"

#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"

using namespace hw::uart;

namespace {
constexpr uint32_t kCtlOn = kCtlEnable | kCtlTxEnable | kCtlRxEnable;
}  // namespace

void UARTConfigSetExpClk(uint32_t base, uint32_t clock, uint32_t baud, uint32_t config) {
    if (baud == 0) {
        return;
    }
    UARTDisable(base);
    // Divisor clock / (16 * baud) in 1/64 steps, rounded: (clock * 8 / baud + 1) / 2.
    const uint64_t divisor = ((uint64_t{clock} * 8) / baud + 1) / 2;
    HWREG(base + kIbrd) = static_cast<uint32_t>(divisor / 64);
    HWREG(base + kFbrd) = static_cast<uint32_t>(divisor % 64);
    // The line-control write latches the divisors.
    HWREG(base + kLcrh) = config;
    UARTEnable(base);
}

void UARTEnable(uint32_t base) {
    HWREG(base + kLcrh) |= kLcrhFifoEnable;
    HWREG(base + kCtl) |= kCtlOn;
}

void UARTDisable(uint32_t base) {
    while ((HWREG(base + kFr) & kFrBusy) != 0) {
    }
    HWREG(base + kLcrh) &= ~kLcrhFifoEnable;
    HWREG(base + kCtl) &= ~kCtlOn;
}

void UARTFIFOLevelSet(uint32_t base, uint32_t txLevel, uint32_t rxLevel) {
    HWREG(base + kIfls) = (txLevel & 7u) | ((rxLevel & 7u) << 3);
}

void UARTIntEnable(uint32_t base, uint32_t sources) {
    HWREG(base + kIm) |= sources;
}

void UARTIntDisable(uint32_t base, uint32_t sources) {
    HWREG(base + kIm) &= ~sources;
}

uint32_t UARTIntStatus(uint32_t base, bool masked) {
    return masked ? HWREG(base + kMis) : HWREG(base + kRis);
}

void UARTIntClear(uint32_t base, uint32_t sources) {
    HWREG(base + kIcr) = sources;
}

bool UARTCharsAvail(uint32_t base) {
    return (HWREG(base + kFr) & kFrRxEmpty) == 0;
}

int32_t UARTCharGetNonBlocking(uint32_t base) {
    if ((HWREG(base + kFr) & kFrRxEmpty) != 0) {
        return -1;
    }
    return static_cast<int32_t>(HWREG(base + kDr));
}

bool UARTSpaceAvail(uint32_t base) {
    return (HWREG(base + kFr) & kFrTxFull) == 0;
}

bool UARTCharPutNonBlocking(uint32_t base, uint8_t character) {
    if ((HWREG(base + kFr) & kFrTxFull) != 0) {
        return false;
    }
    HWREG(base + kDr) = character;
    return true;
}
