#include "adc_model.hpp"

#include <algorithm>

namespace sim {

namespace {
constexpr uint32_t kSequencerBit = 1u << 3;
constexpr uint32_t kTriggerProcessor = 0x0;
constexpr uint32_t kTriggerTimer = 0x5;
constexpr uint32_t kStepEnd = 1u << 1;
constexpr uint32_t kStepInterrupt = 1u << 2;
constexpr uint32_t kSequence3Irq = 17;
constexpr uint32_t kMaxReading = 1023;
}  // namespace

void AdcModel::timerTrigger() {
    if (sequencerEnabled() && trigger() == kTriggerTimer) {
        start();
    }
}

void AdcModel::start() {
    if (converting_) {
        return;  // a trigger during a conversion is lost
    }
    converting_ = true;
    const unsigned channel = ssmux_[kSequencer] & 0xFu;
    lastChannel_ = channel;
    const uint32_t value = std::min<uint32_t>(input_ ? input_(channel) : 0, kMaxReading);
    scheduler_.after(scheduler_.cyclesFor(kConversionTime), [this, value] { complete(value); });
}

void AdcModel::complete(uint32_t value) {
    converting_ = false;
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
    if ((control & kStepEnd) != 0 && (control & kStepInterrupt) != 0) {
        ris_ |= kSequencerBit;
        updateLine();
    }
}

void AdcModel::updateLine() {
    nvic_.setLine(kSequence3Irq, (ris_ & im_ & kSequencerBit) != 0);
}

uint32_t AdcModel::read(uint32_t offset, unsigned) {
    if (offset >= 0x040 && offset < 0x0C0) {
        const unsigned seq = (offset - 0x040) / 0x20;
        switch ((offset - 0x040) % 0x20) {
            case 0x00:
                return ssmux_[seq];
            case 0x04:
                return ssctl_[seq];
            case 0x08:
                if (seq == kSequencer && fifoFull_) {
                    fifoFull_ = false;
                    return fifo_;
                }
                return 0;
            case 0x0C:
                // Status: bit 8 empty, bit 12 full.
                if (seq == kSequencer && fifoFull_) {
                    return 1u << 12;
                }
                return 1u << 8;
            default:
                return 0;
        }
    }
    switch (offset) {
        case 0x000:
            return actss_;
        case 0x004:
            return ris_;
        case 0x008:
            return im_;
        case 0x00C:
            return ris_ & im_;
        case 0x010:
            return ostat_;
        case 0x014:
            return emux_;
        case 0x020:
            return sspri_;
        case 0x030:
            return sac_;
        default:
            return 0;
    }
}

void AdcModel::write(uint32_t offset, uint32_t value, unsigned) {
    if (offset >= 0x040 && offset < 0x0C0) {
        const unsigned seq = (offset - 0x040) / 0x20;
        switch ((offset - 0x040) % 0x20) {
            case 0x00:
                ssmux_[seq] = value;
                break;
            case 0x04:
                ssctl_[seq] = value;
                break;
            default:
                break;
        }
        return;
    }
    switch (offset) {
        case 0x000:
            actss_ = value & 0xFu;
            break;
        case 0x008:
            im_ = value & 0xFu;
            updateLine();
            break;
        case 0x00C:
            ris_ &= ~value;
            updateLine();
            break;
        case 0x010:
            ostat_ &= ~value;
            break;
        case 0x014:
            emux_ = value & 0xFFFFu;
            break;
        case 0x020:
            sspri_ = value & 0x3333u;
            break;
        case 0x028:
            if ((value & kSequencerBit) != 0 && sequencerEnabled() &&
                trigger() == kTriggerProcessor) {
                start();
            }
            break;
        case 0x030:
            sac_ = value & 7u;
            break;
        default:
            break;
    }
}

}  // namespace sim
