#include "periph/adc.hpp"

#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"

using namespace hw::adc;

namespace {

uint32_t SequencerRegister(uint32_t sequencer, uint32_t reg0) {
    return reg0 + sequencer * kSequencerStride;
}

// Sequencer n's fields in EMUX and SSPRI are 4 bits wide at bit 4n.
void SetNibble(uint32_t address, uint32_t sequencer, uint32_t value) {
    const uint32_t shift = sequencer * 4;
    HWREG(address) = (HWREG(address) & ~(0xFu << shift)) | ((value & 0xFu) << shift);
}

}  // namespace

void ADCHardwareOversampleConfigure(uint32_t base, uint32_t factor) {
    uint32_t log2 = 0;
    while (log2 < 6 && (1u << log2) < factor) {
        ++log2;
    }
    HWREG(base + kSac) = log2;
}

void ADCSequenceConfigure(uint32_t base, uint32_t sequencer, uint32_t trigger, uint32_t priority) {
    SetNibble(base + kEmux, sequencer, trigger);
    SetNibble(base + kSspri, sequencer, priority & 0x3u);
}

void ADCSequenceStepConfigure(uint32_t base, uint32_t sequencer, uint32_t step, uint32_t config) {
    // Channel select: 4 bits per step; control (END, IE): bits 1 and 2 of each step's nibble.
    const uint32_t shift = step * 4;
    const uint32_t mux = base + SequencerRegister(sequencer, kSsmux0);
    const uint32_t ctl = base + SequencerRegister(sequencer, kSsctl0);
    HWREG(mux) = (HWREG(mux) & ~(0xFu << shift)) | (adc::ADC_CTL_CH(config) << shift);
    uint32_t control = 0;
    if ((config & adc::ADC_CTL_END) != 0) {
        control |= kStepEnd;
    }
    if ((config & adc::ADC_CTL_IE) != 0) {
        control |= kStepInterrupt;
    }
    HWREG(ctl) = (HWREG(ctl) & ~(0xFu << shift)) | (control << shift);
}

void ADCSequenceEnable(uint32_t base, uint32_t sequencer) {
    HWREG(base + kActss) |= 1u << sequencer;
}

void ADCSequenceDisable(uint32_t base, uint32_t sequencer) {
    HWREG(base + kActss) &= ~(1u << sequencer);
}

void ADCIntEnable(uint32_t base, uint32_t sequencer) {
    // A stale completion must not raise the interrupt the moment it is enabled.
    HWREG(base + kIsc) = 1u << sequencer;
    HWREG(base + kIm) |= 1u << sequencer;
}

void ADCIntDisable(uint32_t base, uint32_t sequencer) {
    HWREG(base + kIm) &= ~(1u << sequencer);
}

void ADCIntClear(uint32_t base, uint32_t sequencer) {
    HWREG(base + kIsc) = 1u << sequencer;
}

void ADCProcessorTrigger(uint32_t base, uint32_t sequencer) {
    HWREG(base + kPssi) = 1u << sequencer;
}

uint32_t ADCSequenceDataGet(uint32_t base, uint32_t sequencer, uint32_t* buffer) {
    uint32_t count = 0;
    while ((HWREG(base + SequencerRegister(sequencer, kSsfstat0)) & kFifoEmpty) == 0 && count < 8) {
        buffer[count++] = HWREG(base + SequencerRegister(sequencer, kSsfifo0));
    }
    return count;
}
