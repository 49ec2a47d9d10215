// GPIO pin configuration through the library, observed in the port model.
#include "periph/gpio.hpp"

#include <gtest/gtest.h>

#include "periph/hw_regs.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"

namespace {

TEST(GpioLibrary, OutputsInputsAndPeripheralPins) {
    sim::Board& board = FreshBoard();
    SysCtlPeripheralEnable(sysctl::kGpioD);
    sim::GpioPort& port = board.gpio('D');

    GPIOPinTypeGPIOOutput(hw::gpio::kPortD, 0x03);
    EXPECT_EQ(port.direction(), 0x03);
    EXPECT_EQ(port.digitalEnable(), 0x03);
    GPIOPinTypeUART(hw::gpio::kPortD, 0x0C);
    EXPECT_EQ(port.alternate(), 0x0C);
    EXPECT_EQ(port.direction(), 0x03) << "peripheral pins keep the direction bits of the others";
    GPIOPinTypeGPIOInput(hw::gpio::kPortD, 0x01);
    EXPECT_EQ(port.direction(), 0x02);

    GPIOPinWrite(hw::gpio::kPortD, 0x02, 0xFF);
    EXPECT_EQ(port.outputLatch(), 0x02);
    GPIOPinWrite(hw::gpio::kPortD, 0x01, 0x00);  // an input: latch only
    EXPECT_EQ(GPIOPinRead(hw::gpio::kPortD, 0x02), 0x02);
    port.setExternalSource([] { return uint8_t{0x01}; });
    EXPECT_EQ(GPIOPinRead(hw::gpio::kPortD, 0x03), 0x03) << "input pin 0 reads the outside level";
}

}  // namespace
