// Putting an image on the board: its segments into flash and the core's SRAM, the emulator set
// up with the chip's memory map, and the exclusive loads found where a test may act.
#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>

#include "arm_core.hpp"
#include "arm_core_memory.hpp"

namespace sim::arm {

std::unique_ptr<ArmCore> ArmCore::Load(Board& board, const std::string& path,
                                       std::string* error) {
    std::optional<FirmwareImage> image = FirmwareImage::Read(path, error);
    if (!image) {
        return nullptr;
    }
    return Load(board, std::move(*image), error);
}

std::unique_ptr<ArmCore> ArmCore::Load(Board& board, FirmwareImage image, std::string* error) {
    std::unique_ptr<ArmCore> core(new ArmCore(board, std::move(image)));
    if (!core->setUp(error)) {
        return nullptr;
    }
    board.fitCore(core.get());
    return core;
}

bool ArmCore::loadSegments(std::string* error) {
    for (const Segment& segment : image_.segments()) {
        if (chip::kFlash.contains(segment.address, segment.bytes.size())) {
            board_.flash().load(segment.address, segment.bytes);
            bootCodeLoaded_ = bootCodeLoaded_ || segment.address < chip::kImageBase;
        } else if (chip::kSram.contains(segment.address, segment.bytes.size())) {
            std::memcpy(sram_.data() + (segment.address - chip::kSram.base), segment.bytes.data(),
                        segment.bytes.size());
        } else {
            *error = "the image has bytes at " + Hex(segment.address) +
                     ", outside the board's flash and SRAM";
            return false;
        }
    }
    return true;
}

bool ArmCore::setUp(std::string* error) {
    if (!loadSegments(error)) {
        return false;
    }
    if (image_.executesFromSram()) {
        storeCheck_.emplace();
    }
    if (const std::optional<Symbol> end = image_.symbol("_ebss");
        end && end->address > chip::kSram.base && chip::kSram.contains(end->address, 0)) {
        sramInUse_ = end->address - chip::kSram.base;
    }
    uc_engine* uc = nullptr;
    uc_err err = uc_open(UC_ARCH_ARM, static_cast<uc_mode>(UC_MODE_THUMB | UC_MODE_MCLASS), &uc);
    if (err != UC_ERR_OK) {
        *error = std::string("cannot start the emulator: ") + uc_strerror(err);
        return false;
    }
    uc_ = uc;
    const auto check = [&](uc_err result, const char* what) {
        if (result != UC_ERR_OK && error->empty()) {
            *error = std::string(what) + ": " + uc_strerror(result);
        }
    };
    error->clear();
    check(uc_ctl_set_cpu_model(uc, UC_CPU_ARM_CORTEX_M3), "selecting the Cortex-M3");
    // Flash is the board's own array: what the flash controller programs, the core reads.
    check(uc_mem_map_ptr(uc, chip::kFlash.base, chip::kFlash.size, UC_PROT_READ | UC_PROT_EXEC,
                         board_.flash().mutableBytes()),
          "mapping flash");
    check(uc_mem_map_ptr(uc, chip::kSram.base, chip::kSram.size, UC_PROT_ALL, sram_.data()),
          "mapping SRAM");
    check(uc_mmio_map(uc, chip::kPeripherals.base, chip::kPeripherals.size, PeripheralRead, this,
                      PeripheralWrite, this),
          "mapping the peripherals");
    check(uc_mmio_map(uc, chip::kPrivateBus.base, chip::kPrivateBus.size, CoreRead, this,
                      CoreWrite, this),
          "mapping the core's peripherals");
    check(uc_mem_map(uc, kExcReturnPage, 0x1000, UC_PROT_READ | UC_PROT_EXEC),
          "mapping the exception-return page");
    check(uc_mem_map(uc, kStubPage, 0x1000, UC_PROT_READ | UC_PROT_EXEC), "mapping the stub");
    check(uc_mem_write(uc, kMonitorStub, kMonitorStubCode, sizeof(kMonitorStubCode)),
          "writing the stub");
    uc_hook hook{};
    check(uc_hook_add(uc, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(BlockHook), this, 1, 0),
          "adding the block hook");
    check(uc_hook_add(uc, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(CodeHook), this, 1, 0),
          "adding the instruction hook");
    check(uc_hook_add(uc, &hook, UC_HOOK_MEM_UNMAPPED | UC_HOOK_MEM_PROT,
                      reinterpret_cast<void*>(UnmappedHook), this, 1, 0),
          "adding the memory hook");
    check(uc_hook_add(uc, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(InterruptHook), this, 1,
                      0),
          "adding the interrupt hook");
    findExclusiveLoads();
    return error->empty();
}

void ArmCore::findExclusiveLoads() {
    // LDREX, LDREXB, LDREXH: where a test may act between the load and the instruction after it.
    for (const auto& [address, function] : image_.functions()) {
        for (uint32_t at = address; at + 4 <= address + function.second;) {
            uint16_t first = 0;
            uint16_t second = 0;
            if (!read(at, &first, 2) || !read(at + 2, &second, 2)) {
                break;
            }
            const bool wide = (first >> 11) >= 0x1D;
            const bool exclusiveLoad = (first & 0xFFF0) == 0xE850 ||
                                       ((first & 0xFFF0) == 0xE8D0 &&
                                        ((second & 0x0FFF) == 0x0F4F || (second & 0x0FFF) == 0x0F5F));
            if (wide && exclusiveLoad) {
                exclusiveLoads_.push_back(at);
            }
            at += wide ? 4 : 2;
        }
    }
    std::sort(exclusiveLoads_.begin(), exclusiveLoads_.end());
}

}  // namespace sim::arm
