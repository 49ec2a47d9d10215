#include "periph/gpio.hpp"

#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"

using namespace hw::gpio;

namespace {

// Standard push-pull pad, 2 mA, no pulls, digital.
void StandardPad(uint32_t port, uint8_t pins) {
    HWREG(port + kDr2r) |= pins;
    HWREG(port + kPur) &= ~static_cast<uint32_t>(pins);
    HWREG(port + kPdr) &= ~static_cast<uint32_t>(pins);
    HWREG(port + kDen) |= pins;
}

void PeripheralFunction(uint32_t port, uint8_t pins) {
    HWREG(port + kAfsel) |= pins;
    StandardPad(port, pins);
}

}  // namespace

void GPIOPinTypeGPIOOutput(uint32_t port, uint8_t pins) {
    HWREG(port + kDir) |= pins;
    HWREG(port + kAfsel) &= ~static_cast<uint32_t>(pins);
    StandardPad(port, pins);
}

void GPIOPinTypeGPIOInput(uint32_t port, uint8_t pins) {
    HWREG(port + kDir) &= ~static_cast<uint32_t>(pins);
    HWREG(port + kAfsel) &= ~static_cast<uint32_t>(pins);
    StandardPad(port, pins);
}

void GPIOPinTypeUART(uint32_t port, uint8_t pins) { PeripheralFunction(port, pins); }

void GPIOPinTypeTimer(uint32_t port, uint8_t pins) { PeripheralFunction(port, pins); }

void GPIOPinWrite(uint32_t port, uint8_t pins, uint8_t value) { HWREG(DataAddress(port, pins)) = value; }

uint8_t GPIOPinRead(uint32_t port, uint8_t pins) {
    return static_cast<uint8_t>(HWREG(DataAddress(port, pins)));
}
