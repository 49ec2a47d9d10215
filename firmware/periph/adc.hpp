// ADC 0: hardware averaging, sample sequencers, their steps and interrupts.
#pragma once

#include <cstdint>

namespace adc {
// Triggers of ADCSequenceConfigure.
constexpr uint32_t ADC_TRIGGER_PROCESSOR = 0x0;
constexpr uint32_t ADC_TRIGGER_TIMER = 0x5;

// Step configuration of ADCSequenceStepConfigure: the input channel in bits 3-0, and flags.
constexpr uint32_t ADC_CTL_END = 1u << 5;  // the last step of the sequence
constexpr uint32_t ADC_CTL_IE = 1u << 6;   // interrupt when the step completes
constexpr uint32_t ADC_CTL_CH(uint32_t channel) {
    return channel & 0xFu;
}
}  // namespace adc

// Averages factor conversions per sample (1, 2, 4, ... 64).
void ADCHardwareOversampleConfigure(uint32_t base, uint32_t factor);
void ADCSequenceConfigure(uint32_t base, uint32_t sequencer, uint32_t trigger, uint32_t priority);
void ADCSequenceStepConfigure(uint32_t base, uint32_t sequencer, uint32_t step, uint32_t config);
void ADCSequenceEnable(uint32_t base, uint32_t sequencer);
void ADCSequenceDisable(uint32_t base, uint32_t sequencer);
void ADCIntEnable(uint32_t base, uint32_t sequencer);
void ADCIntDisable(uint32_t base, uint32_t sequencer);
void ADCIntClear(uint32_t base, uint32_t sequencer);
// Starts the sequencer from software (trigger ADC_TRIGGER_PROCESSOR).
void ADCProcessorTrigger(uint32_t base, uint32_t sequencer);
// Moves the sequencer's results into buffer; returns how many were taken.
uint32_t ADCSequenceDataGet(uint32_t base, uint32_t sequencer, uint32_t* buffer);
