#include "adc_model.hpp"

#include <algorithm>

namespace sim {

using namespace adc;

namespace {
constexpr uint32_t kSequencerBit = 1u << 3;  // the modelled sequencer's bit in ACTSS, RIS, ...
constexpr uint32_t kSequence3Irq = 17;
constexpr uint32_t kMaxReading = 1023;
}  // namespace

void AdcModel::timerTrigger() {
    if (sequencerEnabled() && trigger() == EMUX_TIMER) {
        start(true);
    }
}

void AdcModel::start(bool byTimer) {
    if (converting_) {
        return;  // a trigger during a conversion is lost
    }
    converting_ = true;
    convertingByTimer_ = byTimer;
    if (byTimer && conversionListener_) {
        conversionListener_(true);
    }
    const unsigned channel = ssmux_[kSequencer] & SSMUX_MUX0;
    lastChannel_ = channel;
    const uint32_t value = std::min<uint32_t>(input_ ? input_(channel) : 0, kMaxReading);
    scheduler_.after(scheduler_.cyclesFor(kConversionTime), [this, value] { complete(value); });
}

void AdcModel::complete(uint32_t value) {
    converting_ = false;
    if (convertingByTimer_ && conversionListener_) {
        conversionListener_(false);
    }
    ++conversions_;
    if (fifoFull_) {
        // The one-deep FIFO keeps its old result; the overflow is flagged.
        ++overflows_;
        ostat_ |= kSequencerBit;
    } else {
        fifo_ = value;
        fifoFull_ = true;
    }
    const uint32_t control = ssctl_[kSequencer];
    if ((control & SSCTL_END0) != 0 && (control & SSCTL_IE0) != 0) {
        ris_ |= kSequencerBit;
        updateLine();
    }
}

void AdcModel::updateLine() {
    nvic_.setLine(kSequence3Irq, (ris_ & im_ & kSequencerBit) != 0);
}

uint32_t AdcModel::peek(uint32_t offset, unsigned size) {
    const bool fifo = offset >= SS_BLOCK && offset < SS_BLOCK + kSequencers * SS_STRIDE &&
                      (offset - SS_BLOCK) % SS_STRIDE == SSFIFO;
    if (fifo) {
        return (offset - SS_BLOCK) / SS_STRIDE == kSequencer && fifoFull_ ? fifo_ : 0;
    }
    return read(offset, size);
}

uint32_t AdcModel::read(uint32_t offset, unsigned) {
    if (offset >= SS_BLOCK && offset < SS_BLOCK + kSequencers * SS_STRIDE) {
        const unsigned seq = (offset - SS_BLOCK) / SS_STRIDE;
        switch ((offset - SS_BLOCK) % SS_STRIDE) {
            case SSMUX:
                return ssmux_[seq];
            case SSCTL:
                return ssctl_[seq];
            case SSFIFO:
                if (seq == kSequencer && fifoFull_) {
                    fifoFull_ = false;
                    return fifo_;
                }
                return 0;
            case SSFSTAT:
                return seq == kSequencer && fifoFull_ ? SSFSTAT_FULL : SSFSTAT_EMPTY;
            default:
                return 0;  // the bus decoder has reported the offset
        }
    }
    switch (offset) {
        case ACTSS:
            return actss_;
        case RIS:
            return ris_;
        case IM:
            return im_;
        case ISC:
            return ris_ & im_;
        case OSTAT:
            return ostat_;
        case EMUX:
            return emux_;
        case SSPRI:
            return sspri_;
        case SAC:
            return sac_;
        default:
            return 0;  // the bus decoder has reported the offset
    }
}

void AdcModel::write(uint32_t offset, uint32_t value, unsigned) {
    if (offset >= SS_BLOCK && offset < SS_BLOCK + kSequencers * SS_STRIDE) {
        const unsigned seq = (offset - SS_BLOCK) / SS_STRIDE;
        switch ((offset - SS_BLOCK) % SS_STRIDE) {
            case SSMUX:
                ssmux_[seq] = value;
                break;
            case SSCTL:
                ssctl_[seq] = value;
                break;
            default:
                break;
        }
        return;
    }
    switch (offset) {
        case ACTSS:
            actss_ = value & ACTSS_MASK;
            break;
        case IM:
            im_ = value & ACTSS_MASK;
            updateLine();
            break;
        case ISC:
            ris_ &= ~value;
            updateLine();
            break;
        case OSTAT:
            ostat_ &= ~value;
            break;
        case EMUX:
            emux_ = value & EMUX_MASK;
            break;
        case SSPRI:
            sspri_ = value & SSPRI_MASK;
            break;
        case PSSI:
            if ((value & kSequencerBit) != 0 && sequencerEnabled() && trigger() == EMUX_PROCESSOR) {
                start();
            }
            break;
        case SAC:
            sac_ = value & SAC_MASK;
            break;
        default:
            break;
    }
}

}  // namespace sim
