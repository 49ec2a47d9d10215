// Unit-test support: the target image's own display drivers, called one operation at a time on
// an emulated Cortex-M3 whose peripheral accesses go to a simulated board, so that the code the
// target runs (hand-written loops included) can be compared with its host build call by call.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.hpp"
#include "chip.hpp"
#include "firmware_image.hpp"

class ImageDrivers {
  public:
    // Nothing (and why) when the image cannot be read or run.
    static std::unique_ptr<ImageDrivers> Load(sim::Board& board, const std::string& path,
                                              std::string* why) {
        auto image = sim::arm::FirmwareImage::Read(path, why);
        if (!image) {
            return nullptr;
        }
        std::unique_ptr<ImageDrivers> drivers(new ImageDrivers(board, std::move(*image)));
        if (!drivers->start(why)) {
            return nullptr;
        }
        return drivers;
    }

    ~ImageDrivers() {
        if (uc_ != nullptr) {
            uc_close(uc_);
        }
    }
    ImageDrivers(const ImageDrivers&) = delete;
    ImageDrivers& operator=(const ImageDrivers&) = delete;

    // The address of an ELF symbol (0 if absent).
    uint32_t symbol(const std::string& name) const {
        const auto s = image_.symbol(name);
        return s ? s->address : 0;
    }

    // A word of the image's memory.
    uint32_t word(uint32_t address) const {
        uint32_t value = 0;
        uc_mem_read(uc_, address, &value, sizeof(value));
        return value;
    }

    // Bytes of the image's memory.
    std::vector<uint8_t> bytes(uint32_t address, uint32_t size) const {
        std::vector<uint8_t> out(size);
        uc_mem_read(uc_, address, out.data(), size);
        return out;
    }

    // A function of the host's standing in for one of the image's callees: calls to the returned
    // address run callback with the call's first eight word arguments (four in registers, four
    // on the stack) and return at once. One stub an instance; a second call replaces the first.
    using Stub = std::function<void(const uint32_t (&arguments)[8])>;
    uint32_t stub(Stub callback) {
        stub_ = std::move(callback);
        const uint16_t returnInstruction = 0x4770;  // bx lr
        uc_mem_write(uc_, kStub, &returnInstruction, sizeof(returnInstruction));
        if (stubHook_ == 0) {
            uc_hook_add(uc_, &stubHook_, UC_HOOK_CODE, reinterpret_cast<void*>(&StubEntered), this,
                        kStub, kStub + 1);
        }
        return kStub | 1u;
    }

    // Copies bytes to the scratch area at the top of SRAM (each call overwrites the last) and
    // returns their address there.
    uint32_t scratch(const void* bytes, uint32_t size) {
        uc_mem_write(uc_, kScratch, bytes, size);
        return kScratch;
    }

    // Puts bytes that stay as they are, like the image's own constants, into unused flash at
    // the top (slot 0, 1, ... of 4 KB each) and returns their address.
    uint32_t constant(const void* bytes, uint32_t size, uint32_t slot) {
        const uint32_t at = kFlashSize - (slot + 1) * 0x1000;
        std::memcpy(flash_.data() + at, bytes, size);
        return at;
    }

    // Calls a function (its address) with up to eight word arguments and returns r0. False in
    // *ok when the emulation stopped on a fault.
    uint32_t call(uint32_t function, std::initializer_list<uint32_t> arguments, bool* ok) {
        const std::vector<uint32_t> a(arguments);
        uint32_t sp = kStackTop;
        const uint32_t stacked = a.size() > 4 ? static_cast<uint32_t>(a.size() - 4) : 0;
        sp -= ((stacked * 4 + 7) / 8) * 8;
        for (uint32_t i = 0; i < stacked; ++i) {
            uc_mem_write(uc_, sp + 4 * i, &a[4 + i], 4);
        }
        const int registers[4] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
        for (size_t i = 0; i < 4; ++i) {
            uint32_t value = i < a.size() ? a[i] : 0;
            uc_reg_write(uc_, registers[i], &value);
        }
        uint32_t lr = kReturn | 1u;
        uc_reg_write(uc_, UC_ARM_REG_SP, &sp);
        uc_reg_write(uc_, UC_ARM_REG_LR, &lr);
        const uc_err err = uc_emu_start(uc_, function | 1u, kReturn, 0, 0);
        uint32_t pc = 0;
        uc_reg_read(uc_, UC_ARM_REG_PC, &pc);
        *ok = err == UC_ERR_OK && (pc & ~1u) == kReturn;
        uint32_t r0 = 0;
        uc_reg_read(uc_, UC_ARM_REG_R0, &r0);
        return r0;
    }

  private:
    static constexpr uint32_t kFlashSize = chip::kFlash.size;
    static constexpr uint32_t kSramBase = chip::kSram.base;
    static constexpr uint32_t kSramSize = chip::kSram.size;
    static constexpr uint32_t kScratch = kSramBase + kSramSize - 0x1000;
    static constexpr uint32_t kStackTop = kScratch;
    static constexpr uint32_t kPeripheralBase = chip::kPeripherals.base;
    static constexpr uint32_t kPeripheralSize = chip::kPeripherals.size;
    static constexpr uint32_t kReturn = 0x30000000;  // a page of its own: the calls end there
    static constexpr uint32_t kStub = kReturn + 0x100;  // in the same page

    ImageDrivers(sim::Board& board, sim::arm::FirmwareImage image)
        : board_(board), image_(std::move(image)), flash_(kFlashSize, 0xFF), sram_(kSramSize, 0) {}

    bool start(std::string* why) {
        for (const auto& segment : image_.segments()) {
            const uint64_t end = uint64_t{segment.address} + segment.bytes.size();
            if (end <= kFlashSize) {
                std::memcpy(flash_.data() + segment.address, segment.bytes.data(),
                            segment.bytes.size());
            } else if (segment.address >= kSramBase && end <= uint64_t{kSramBase} + kSramSize) {
                std::memcpy(sram_.data() + (segment.address - kSramBase), segment.bytes.data(),
                            segment.bytes.size());
            }
        }
        uc_err err = uc_open(UC_ARCH_ARM, static_cast<uc_mode>(UC_MODE_THUMB | UC_MODE_MCLASS), &uc_);
        if (err == UC_ERR_OK) {
            err = uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_CORTEX_M3);
        }
        if (err == UC_ERR_OK) {
            err = uc_mem_map_ptr(uc_, 0, kFlashSize, UC_PROT_READ | UC_PROT_EXEC, flash_.data());
        }
        if (err == UC_ERR_OK) {
            err = uc_mem_map_ptr(uc_, kSramBase, kSramSize, UC_PROT_ALL, sram_.data());
        }
        if (err == UC_ERR_OK) {
            err = uc_mem_map(uc_, kReturn, 0x1000, UC_PROT_READ | UC_PROT_EXEC);
        }
        if (err == UC_ERR_OK) {
            err = uc_mmio_map(uc_, kPeripheralBase, kPeripheralSize, Read, this, Write, this);
        }
        if (err != UC_ERR_OK) {
            *why = std::string("the emulator: ") + uc_strerror(err);
            return false;
        }
        return true;
    }

    static void StubEntered(uc_engine* uc, uint64_t, uint32_t, void* self) {
        auto* d = static_cast<ImageDrivers*>(self);
        uint32_t a[8] = {};
        const int registers[4] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2, UC_ARM_REG_R3};
        for (int i = 0; i < 4; ++i) {
            uc_reg_read(uc, registers[i], &a[i]);
        }
        uint32_t sp = 0;
        uc_reg_read(uc, UC_ARM_REG_SP, &sp);
        uc_mem_read(uc, sp, &a[4], 16);
        if (d->stub_) {
            d->stub_(a);
        }
    }

    static uint64_t Read(uc_struct*, uint64_t offset, unsigned size, void* self) {
        auto* d = static_cast<ImageDrivers*>(self);
        return d->board_.cpuRead(kPeripheralBase + static_cast<uint32_t>(offset), size);
    }
    static void Write(uc_struct*, uint64_t offset, unsigned size, uint64_t value, void* self) {
        auto* d = static_cast<ImageDrivers*>(self);
        d->board_.cpuWrite(kPeripheralBase + static_cast<uint32_t>(offset),
                           static_cast<uint32_t>(value), size);
    }

    sim::Board& board_;
    sim::arm::FirmwareImage image_;
    std::vector<uint8_t> flash_;
    std::vector<uint8_t> sram_;
    uc_engine* uc_ = nullptr;
    Stub stub_;
    uc_hook stubHook_ = 0;
};
