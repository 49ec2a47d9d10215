// Register addresses and bit fields of the target microcontroller, as the peripheral library
// uses them. One namespace per peripheral.
#pragma once

#include <cstdint>

#include "chip_facts.h"

namespace hw {

namespace sysctl {
constexpr uint32_t kBase = CHIP_SYSCTL_BASE;
constexpr uint32_t kDid0 = kBase + 0x000;
constexpr uint32_t kDc0 = kBase + 0x008;
constexpr uint32_t kDc1 = kBase + 0x010;
constexpr uint32_t kDc2 = kBase + 0x014;
constexpr uint32_t kDc4 = kBase + 0x01C;
constexpr uint32_t kRis = kBase + 0x050;
constexpr uint32_t kMisc = kBase + 0x058;  // write 1 to clear the RIS bits
constexpr uint32_t kRcc = kBase + 0x060;
constexpr uint32_t kRcgc0 = kBase + 0x100;
constexpr uint32_t kFmpre0 = kBase + 0x200;  // one register per 64 KB of flash
constexpr uint32_t kFmppe0 = kBase + 0x400;
constexpr uint32_t kUsecrl = kBase + 0x140;

constexpr uint32_t kRisPllLock = 1u << 6;

constexpr uint32_t kRccMainOscDisable = 1u << 0;
constexpr uint32_t kRccOscSourceShift = 4;
constexpr uint32_t kRccOscSourceMask = 3u << kRccOscSourceShift;
constexpr uint32_t kRccXtalShift = 6;
constexpr uint32_t kRccXtalMask = 0xFu << kRccXtalShift;
constexpr uint32_t kRccBypass = 1u << 11;
constexpr uint32_t kRccPllPowerDown = 1u << 13;
constexpr uint32_t kRccUseSysDiv = 1u << 22;
constexpr uint32_t kRccSysDivShift = 23;
constexpr uint32_t kRccSysDivMask = 0xFu << kRccSysDivShift;
}  // namespace sysctl

namespace flash {
constexpr uint32_t kBase = CHIP_FLASH_CTRL_BASE;
constexpr uint32_t kFma = kBase + 0x000;
constexpr uint32_t kFmd = kBase + 0x004;
constexpr uint32_t kFmc = kBase + 0x008;
constexpr uint32_t kFcris = kBase + 0x00C;
constexpr uint32_t kFcmisc = kBase + 0x014;

constexpr uint32_t kFmcKey = 0xA4420000;
constexpr uint32_t kFmcWrite = 1u << 0;
constexpr uint32_t kFmcErase = 1u << 1;
constexpr uint32_t kFcrisAccess = 1u << 0;  // programming or erasing a protected block was refused

constexpr uint32_t kProtectBlockSize = CHIP_FLASH_BLOCK_SIZE;  // one FMPRE/FMPPE bit per 2 KB
constexpr uint32_t kErasePageSize = CHIP_FLASH_PAGE_SIZE;
constexpr uint32_t kSize = CHIP_FLASH_SIZE;
}  // namespace flash

namespace systick {
constexpr uint32_t kCtrl = CHIP_SCS_BASE + 0x010;
constexpr uint32_t kReload = CHIP_SCS_BASE + 0x014;
constexpr uint32_t kCurrent = CHIP_SCS_BASE + 0x018;

constexpr uint32_t kCtrlEnable = 1u << 0;
constexpr uint32_t kCtrlTickInt = 1u << 1;
constexpr uint32_t kCtrlClockSource = 1u << 2;  // 1 = processor clock
constexpr uint32_t kReloadMask = 0x00FFFFFF;
}  // namespace systick

namespace nvic {
constexpr uint32_t kEnable0 = CHIP_SCS_BASE + 0x100;
constexpr uint32_t kDisable0 = CHIP_SCS_BASE + 0x180;
constexpr uint32_t kPend0 = CHIP_SCS_BASE + 0x200;
constexpr uint32_t kUnpend0 = CHIP_SCS_BASE + 0x280;
constexpr uint32_t kSysHandlerCtrl = CHIP_SCS_BASE + 0xD24;
constexpr uint32_t kIcsr = CHIP_SCS_BASE + 0xD04;
constexpr uint32_t kVtor = CHIP_SCB_VTOR;

constexpr uint32_t kShcsrMemFault = 1u << 16;
constexpr uint32_t kShcsrBusFault = 1u << 17;
constexpr uint32_t kShcsrUsageFault = 1u << 18;
}  // namespace nvic

// Exception numbers (vector table entries) as IntEnable/IntDisable take them.
namespace irq {
constexpr uint32_t kMemFault = 4;
constexpr uint32_t kBusFault = 5;
constexpr uint32_t kUsageFault = 6;
constexpr uint32_t kSysTick = 15;
constexpr uint32_t kFirstPeripheral = 16;
constexpr uint32_t kUart1 = kFirstPeripheral + CHIP_IRQ_UART1;
constexpr uint32_t kAdc0Sequence3 = kFirstPeripheral + CHIP_IRQ_ADC0_SEQUENCE3;
constexpr uint32_t kTimer0A = kFirstPeripheral + CHIP_IRQ_TIMER0_A;
constexpr uint32_t kTimer2B = kFirstPeripheral + CHIP_IRQ_TIMER2_B;
constexpr uint32_t kCount = kFirstPeripheral + CHIP_PERIPHERAL_IRQS;
}  // namespace irq

namespace gpio {
constexpr uint32_t kPortA = CHIP_GPIO_A_BASE;
constexpr uint32_t kPortB = CHIP_GPIO_B_BASE;
constexpr uint32_t kPortC = CHIP_GPIO_C_BASE;
constexpr uint32_t kPortD = CHIP_GPIO_D_BASE;
constexpr uint32_t kPortE = CHIP_GPIO_E_BASE;
constexpr uint32_t kPortF = CHIP_GPIO_F_BASE;
constexpr uint32_t kPortG = CHIP_GPIO_G_BASE;

constexpr uint32_t kData = 0x000;  // masked: address bits 9-2 select the pins
constexpr uint32_t kDir = 0x400;
constexpr uint32_t kIm = 0x410;
constexpr uint32_t kAfsel = 0x420;
constexpr uint32_t kDr2r = 0x500;
constexpr uint32_t kPur = 0x510;
constexpr uint32_t kPdr = 0x514;
constexpr uint32_t kDen = 0x51C;
constexpr uint32_t kLock = 0x520;
constexpr uint32_t kCr = 0x524;

constexpr uint32_t kLockKey = 0x1ACCE551;

// Address of the masked data register that reads or writes only the given pins.
constexpr uint32_t DataAddress(uint32_t port, uint32_t pins) {
    return port + kData + ((pins & 0xFFu) << 2);
}
}  // namespace gpio

// General-purpose timers, split into two 16-bit halves A and B where configured so.
namespace timer {
constexpr uint32_t kTimer0 = CHIP_TIMER0_BASE;
constexpr uint32_t kTimer1 = CHIP_TIMER1_BASE;
constexpr uint32_t kTimer2 = CHIP_TIMER2_BASE;
constexpr uint32_t kTimer3 = CHIP_TIMER3_BASE;

constexpr uint32_t kCfg = 0x000;
constexpr uint32_t kTamr = 0x004;
constexpr uint32_t kTbmr = 0x008;
constexpr uint32_t kCtl = 0x00C;
constexpr uint32_t kImr = 0x018;
constexpr uint32_t kRis = 0x01C;
constexpr uint32_t kMis = 0x020;
constexpr uint32_t kIcr = 0x024;
constexpr uint32_t kTailr = 0x028;
constexpr uint32_t kTbilr = 0x02C;
constexpr uint32_t kTamatchr = 0x030;
constexpr uint32_t kTbmatchr = 0x034;
constexpr uint32_t kTapr = 0x038;
constexpr uint32_t kTbpr = 0x03C;
constexpr uint32_t kTar = 0x048;
constexpr uint32_t kTbr = 0x04C;

constexpr uint32_t kCfg32Bit = 0x0;
constexpr uint32_t kCfg16BitPair = 0x4;

constexpr uint32_t kModeOneShot = 0x1;
constexpr uint32_t kModePeriodic = 0x2;
constexpr uint32_t kModeAlternate = 0x8;  // with periodic: PWM

constexpr uint32_t kCtlTaen = 1u << 0;
constexpr uint32_t kCtlTaote = 1u << 5;
constexpr uint32_t kCtlTapwml = 1u << 6;
constexpr uint32_t kCtlTben = 1u << 8;
constexpr uint32_t kCtlTbote = 1u << 13;
constexpr uint32_t kCtlTbpwml = 1u << 14;

constexpr uint32_t kIntTimeoutA = 1u << 0;
constexpr uint32_t kIntTimeoutB = 1u << 8;
}  // namespace timer

// ADC 0 and its sample sequencers (the touch screen uses sequencer 3 only).
namespace adc {
constexpr uint32_t kAdc0 = CHIP_ADC0_BASE;

constexpr uint32_t kActss = 0x000;
constexpr uint32_t kRis = 0x004;
constexpr uint32_t kIm = 0x008;
constexpr uint32_t kIsc = 0x00C;
constexpr uint32_t kOstat = 0x010;
constexpr uint32_t kEmux = 0x014;
constexpr uint32_t kUstat = 0x018;
constexpr uint32_t kSspri = 0x020;
constexpr uint32_t kPssi = 0x028;
constexpr uint32_t kSac = 0x030;
// Sequencer n's registers start at 0x040 + 0x20 n: input select, control, result FIFO, status.
constexpr uint32_t kSequencerStride = 0x20;
constexpr uint32_t kSsmux0 = 0x040;
constexpr uint32_t kSsctl0 = 0x044;
constexpr uint32_t kSsfifo0 = 0x048;
constexpr uint32_t kSsfstat0 = 0x04C;

constexpr uint32_t kSsmux3 = kSsmux0 + 3 * kSequencerStride;
constexpr uint32_t kSsctl3 = kSsctl0 + 3 * kSequencerStride;
constexpr uint32_t kSsfifo3 = kSsfifo0 + 3 * kSequencerStride;
constexpr uint32_t kSsfstat3 = kSsfstat0 + 3 * kSequencerStride;

constexpr uint32_t kTriggerProcessor = 0x0;
constexpr uint32_t kTriggerTimer = 0x5;

constexpr uint32_t kStepEnd = 1u << 1;
constexpr uint32_t kStepInterrupt = 1u << 2;
constexpr uint32_t kFifoEmpty = 1u << 8;
}  // namespace adc
namespace uart {
constexpr uint32_t kUart1 = CHIP_UART1_BASE;

constexpr uint32_t kDr = 0x000;
constexpr uint32_t kRsr = 0x004;
constexpr uint32_t kFr = 0x018;
constexpr uint32_t kIbrd = 0x024;
constexpr uint32_t kFbrd = 0x028;
constexpr uint32_t kLcrh = 0x02C;
constexpr uint32_t kCtl = 0x030;
constexpr uint32_t kIfls = 0x034;
constexpr uint32_t kIm = 0x038;
constexpr uint32_t kRis = 0x03C;
constexpr uint32_t kMis = 0x040;
constexpr uint32_t kIcr = 0x044;

constexpr uint32_t kFrBusy = 1u << 3;
constexpr uint32_t kFrRxEmpty = 1u << 4;
constexpr uint32_t kFrTxFull = 1u << 5;
constexpr uint32_t kFrRxFull = 1u << 6;
constexpr uint32_t kFrTxEmpty = 1u << 7;

constexpr uint32_t kLcrhParityEnable = 1u << 1;
constexpr uint32_t kLcrhEvenParity = 1u << 2;
constexpr uint32_t kLcrhTwoStopBits = 1u << 3;
constexpr uint32_t kLcrhFifoEnable = 1u << 4;
constexpr uint32_t kLcrhWordLengthShift = 5;
constexpr uint32_t kLcrhWordLengthMask = 3u << kLcrhWordLengthShift;
constexpr uint32_t kLcrhStickParity = 1u << 7;

constexpr uint32_t kCtlEnable = 1u << 0;
constexpr uint32_t kCtlTxEnable = 1u << 8;
constexpr uint32_t kCtlRxEnable = 1u << 9;

constexpr uint32_t kIntRx = 1u << 4;
constexpr uint32_t kIntTx = 1u << 5;
constexpr uint32_t kIntRxTimeout = 1u << 6;
constexpr uint32_t kIntErrors = 0xFu << 7;  // framing, parity, break, overrun
constexpr uint32_t kIntAll = kIntRx | kIntTx | kIntRxTimeout | kIntErrors;

// FIFO interrupt levels (IFLS): transmit in bits 2-0, receive in bits 5-3.
constexpr uint32_t kFifoTx1_8 = 0;
constexpr uint32_t kFifoRx1_8 = 0;
}  // namespace uart

}  // namespace hw
