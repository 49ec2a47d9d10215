#include "flash.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace sim {

FlashMemory::FlashMemory() : bytes_(chip::kFlash.size, 0xFF) {
    readEnable_.fill(0xFFFFFFFF);
    programEnable_.fill(0xFFFFFFFF);
    // A boot loader's vector table: stack pointer, reset entry and the update entry.
    const auto put = [this](uint32_t address, uint32_t value) {
        std::memcpy(&bytes_[address], &value, sizeof(value));
    };
    put(0x00, kBootStackPointer);
    put(0x04, kBootResetEntry);
    put(chip::kBootUpdateEntrySlot, kBootUpdateEntry);
}

uint32_t FlashMemory::word(uint32_t address) const {
    uint32_t value = 0;
    std::memcpy(&value, &bytes_.at(address & ~3u), sizeof(value));
    return value;
}

void FlashMemory::load(uint32_t address, const std::vector<uint8_t>& data) {
    if (address > chip::kFlash.size || data.size() > chip::kFlash.size - address) {
        throw std::out_of_range("flash image does not fit");
    }
    std::copy(data.begin(), data.end(), bytes_.begin() + address);
}

bool FlashMemory::readable(uint32_t address) const {
    const uint32_t block = address / chip::kFlashBlockSize;
    return ((readEnable_[block / 32] >> (block % 32)) & 1u) != 0;
}

bool FlashMemory::programmable(uint32_t address) const {
    const uint32_t block = address / chip::kFlashBlockSize;
    return ((programEnable_[block / 32] >> (block % 32)) & 1u) != 0;
}

bool FlashMemory::programWord(uint32_t address, uint32_t value) {
    address &= ~3u;
    if (address >= chip::kFlash.size || !programmable(address)) {
        ++refusals_;
        accessViolation_ = true;
        return false;
    }
    // Programming can only clear bits.
    const uint32_t programmed = word(address) & value;
    std::memcpy(&bytes_[address], &programmed, sizeof(programmed));
    ++programs_;
    return true;
}

bool FlashMemory::erasePage(uint32_t address) {
    address &= ~(chip::kFlashPageSize - 1);
    if (address >= chip::kFlash.size || !programmable(address)) {
        ++refusals_;
        accessViolation_ = true;
        return false;
    }
    std::fill_n(bytes_.begin() + address, chip::kFlashPageSize, 0xFF);
    return true;
}

uint32_t FlashController::read(uint32_t offset, unsigned) {
    using namespace flashctl;
    switch (offset) {
        case FMA:
            return address_;
        case FMD:
            return data_;
        case FMC:
            return 0;  // operations complete at once
        case FCRIS:
            return flash_.accessViolation() ? INT_ACCESS : 0u;
        case FCIM:
            return interruptMask_;
        case FCMISC:
            return (flash_.accessViolation() && (interruptMask_ & INT_ACCESS) != 0) ? INT_ACCESS
                                                                                    : 0u;
        default:
            return 0;  // the bus decoder has reported the offset
    }
}

void FlashController::write(uint32_t offset, uint32_t value, unsigned) {
    using namespace flashctl;
    switch (offset) {
        case FMA:
            address_ = value & (chip::kFlash.size - 1);
            break;
        case FMD:
            data_ = value;
            break;
        case FMC:
            if ((value & 0xFFFF0000u) != FMC_KEY) {
                break;  // without the key the command is ignored
            }
            if ((value & FMC_WRITE) != 0) {
                flash_.programWord(address_, data_);
            } else if ((value & FMC_ERASE) != 0) {
                flash_.erasePage(address_);
            } else if ((value & FMC_MERASE) != 0) {
                for (uint32_t page = 0; page < chip::kFlash.size; page += chip::kFlashPageSize) {
                    flash_.erasePage(page);
                }
            }
            break;
        case FCIM:
            interruptMask_ = value & FCIM_MASK;
            break;
        case FCMISC:
            if ((value & INT_ACCESS) != 0) {
                flash_.clearAccessViolation();
            }
            break;
        default:
            break;  // the bus decoder has reported the offset
    }
}

uint32_t FlashArray::read(uint32_t offset, unsigned size) {
    if (size == 1) {
        return flash_.bytes()[offset];
    }
    return flash_.word(offset);
}

void FlashArray::write(uint32_t offset, uint32_t, unsigned) {
    writeAttempted_ = true;
    fault("store to flash memory at offset " + std::to_string(offset));
}

}  // namespace sim
