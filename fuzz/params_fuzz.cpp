// The parameter area over arbitrary flash contents. Oracle: the block the firmware selects is
// the one the parameter-area tool names current, the RAM image is that block (or the defaults),
// and each calibration set loads exactly when the tool reads it as stored, with its values.
#include <vector>

#include "board_support.hpp"
#include "fuzz_support.hpp"
#include "input/touch.hpp"
#include "panel_models.hpp"
#include "paramblock.hpp"
#include "params/flash_pb.hpp"
#include "params/params.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sim::Board& board = fuzz::Board();
    // The input is the start of the area; a short input repeats itself, as erased flash would
    // be too easy. An input byte 0 stands for a whole erased block.
    paramblock::Area area = paramblock::ErasedArea();
    if (size > 0) {
        for (size_t i = 0; i < area.size(); ++i) {
            area[i] = data[i % size];
        }
        for (uint32_t slot = 0; slot < paramblock::kBlocks; ++slot) {
            if (slot < size && data[slot] == 0) {
                std::fill_n(area.begin() + slot * paramblock::kBlockSize, paramblock::kBlockSize, 0xFF);
            }
        }
    }
    // Valid blocks are rare by chance: let the input ask for some blocks' sums to be balanced.
    for (uint32_t slot = 0; slot < paramblock::kBlocks; ++slot) {
        if (size > 6 + slot && (data[6 + slot] & 1) != 0) {
            uint8_t* block = area.data() + slot * paramblock::kBlockSize;
            uint32_t sum = 0;
            for (uint32_t i = 0; i < paramblock::kBlockSize - 1; ++i) {
                sum += block[i];
            }
            block[paramblock::kBalanceOffset] = static_cast<uint8_t>(0u - sum);
        }
    }
    board.flash().load(paramblock::kAreaAddress, area);

    bInit = 0;
    ParamInit();
    const uint8_t* start = board.flash().bytes() + paramblock::kAreaAddress;
    const std::optional<uint32_t> slot = paramblock::CurrentSlot(area);
    const uint8_t* current = FlashPBGet();
    FUZZ_CHECK(slot.has_value() == (current != nullptr));
    if (slot) {
        FUZZ_CHECK(current == start + *slot * paramblock::kBlockSize);
        FUZZ_CHECK(std::memcmp(&g_sParameters, current, sizeof(g_sParameters)) == 0);
    } else {
        FUZZ_CHECK(g_sParameters.sequence == 0 && g_sParameters.unused2 == 1);
    }
    for (uint32_t set = 0; set < 5; ++set) {
        TouchScreenSetParam(0, 0, 0, 0, 0, 0, 0);
        const uint32_t loaded = LoadTouchScreenParam(set);
        const std::optional<paramblock::Calibration> stored =
            slot && set < 4 ? paramblock::CalibrationOf(current, set) : std::nullopt;
        FUZZ_CHECK(loaded == (stored ? 1u : 0u));
        if (stored) {
            const int32_t m[7] = {_Touch_M0, _Touch_M1, _Touch_M2, _Touch_M3,
                                  _Touch_M4, _Touch_M5, _Touch_M6};
            for (int i = 0; i < 7; ++i) {
                FUZZ_CHECK(m[i] == (*stored)[i]);
            }
        }
    }
    return 0;
}
