// The paramblock tool on any file: an area, a flash image or bytes of any other length, whose
// blocks the input fills (repeating itself, some blocks erased or balanced so that valid ones
// are common), then 'read' and 'add' with any calibration sets, sequence number and slot.
// Oracles:
// - a file of the wrong size is refused with its path and size; read reports six slots, each
//   erased, invalid with its byte sum, or valid with its sequence number exactly as the bytes
//   say, marks one valid slot current when there is one, and then shows that block's four
//   calibration sets as their records hold them;
// - add either refuses, or leaves a valid block in the slot it names, with the sequence number
//   asked for (or the one after the current block's), exactly the sets given, the other slots
//   as they were (save the erased page of a full area: the one after the current block's, or
//   the first page when no block is valid), and the block it wrote is the one the firmware
//   selects.
#include <sstream>
#include <vector>

#include "file_area.hpp"
#include "fuzz_support.hpp"

namespace {

using paramblock::Area;
using paramblock::kBlockSize;
using paramblock::kBlocks;

uint32_t Sum(const uint8_t* block) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kBlockSize; ++i) {
        sum += block[i];
    }
    return sum;
}

bool Erased(const uint8_t* block) {
    for (uint32_t i = 0; i < kBlockSize; ++i) {
        if (block[i] != 0xFF) {
            return false;
        }
    }
    return true;
}

bool Valid(const uint8_t* block) {
    return Sum(block) % 256 == 0 && !Erased(block);
}

int32_t Word(const uint8_t* at) {
    return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | at[1] << 8 | at[2] << 16 |
                                static_cast<uint32_t>(at[3]) << 24);
}

// Set s's record: the odd set first in each pair of 32-byte records from byte 4.
std::string SetLine(const uint8_t* block, uint32_t set) {
    const uint8_t* record = block + 4 + 32 * (set ^ 1);
    std::string line = "calibration set " + std::to_string(set) + ": ";
    if (static_cast<uint32_t>(Word(record)) != 0x19840312) {
        return line + "not stored";
    }
    for (int i = 0; i < 7; ++i) {
        line += (i == 0 ? "M" : " M") + std::to_string(i) + "=" + std::to_string(Word(record + 4 + 4 * i));
    }
    return line;
}

void CheckReport(const std::string& report, const Area& area) {
    std::istringstream lines(report);
    std::string line;
    int current = -1;
    for (uint32_t slot = 0; slot < kBlocks; ++slot) {
        FUZZ_CHECK(std::getline(lines, line));
        const uint8_t* block = area.data() + slot * kBlockSize;
        char address[16];
        std::snprintf(address, sizeof(address), "0x%05X", 0x3F400 + slot * kBlockSize);
        std::string want = "slot " + std::to_string(slot) + " at " + address + ": ";
        if (Erased(block)) {
            want += "erased";
        } else if (!Valid(block)) {
            want += "invalid (byte sum " + std::to_string(Sum(block) % 256) + " modulo 256)";
        } else {
            want += "sequence " + std::to_string(block[0]);
        }
        if (line == want + "  <- current") {
            FUZZ_CHECK(current == -1 && Valid(block));
            current = static_cast<int>(slot);
        } else {
            FUZZ_CHECK(line == want);
        }
    }
    FUZZ_CHECK(std::getline(lines, line));
    bool anyValid = false;
    for (uint32_t slot = 0; slot < kBlocks; ++slot) {
        anyValid = anyValid || Valid(area.data() + slot * kBlockSize);
    }
    FUZZ_CHECK(anyValid == (current >= 0));
    if (current < 0) {
        FUZZ_CHECK(line.rfind("no valid block", 0) == 0);
    } else {
        const uint8_t* block = area.data() + static_cast<uint32_t>(current) * kBlockSize;
        for (uint32_t set = 0; set < 4; ++set) {
            if (set > 0) {
                FUZZ_CHECK(std::getline(lines, line));
            }
            FUZZ_CHECK(line == SetLine(block, set));
        }
    }
    FUZZ_CHECK(!std::getline(lines, line));
}

void CheckAdd(const Area& before, const paramblock_tool::Sets& sets,
              std::optional<uint8_t> sequence, std::optional<uint32_t> slot) {
    Area area = before;
    uint32_t used = 0;
    try {
        used = paramblock_tool::Add(area, sets, sequence, slot);
    } catch (const paramblock::Error& refused) {
        FUZZ_CHECK(area == before);  // a refusal changes nothing
        return;
    }
    FUZZ_CHECK(used < kBlocks && (!slot || used == *slot));
    const std::optional<uint32_t> old = paramblock::CurrentSlot(before);
    const uint8_t* block = area.data() + used * kBlockSize;
    // Into a full area: the page after the current block's page, or the first page without one.
    const uint32_t page = old ? (*old / 2 + 1) % 3 : 0;
    FUZZ_CHECK(Erased(before.data() + used * kBlockSize) || (!slot && used == 2 * page));
    FUZZ_CHECK(Valid(block));
    const uint8_t next = old ? static_cast<uint8_t>(before[*old * kBlockSize] + 1) : 0;
    FUZZ_CHECK(block[0] == sequence.value_or(next));
    for (uint32_t set = 0; set < 4; ++set) {
        std::string want = "calibration set " + std::to_string(set) + ": not stored";
        if (sets[set]) {
            want = "calibration set " + std::to_string(set) + ": ";
            for (int i = 0; i < 7; ++i) {
                want += (i == 0 ? "M" : " M") + std::to_string(i) + "=" + std::to_string((*sets[set])[i]);
            }
        }
        FUZZ_CHECK(SetLine(block, set) == want);
    }
    const bool pageErased = !Erased(before.data() + used * kBlockSize);
    for (uint32_t other = 0; other < kBlocks; ++other) {
        if (other == used) {
            continue;
        }
        const uint8_t* was = before.data() + other * kBlockSize;
        const uint8_t* now = area.data() + other * kBlockSize;
        if (pageErased && other / 2 == used / 2) {
            FUZZ_CHECK(Erased(now));
        } else {
            FUZZ_CHECK(std::memcmp(was, now, kBlockSize) == 0);
        }
    }
    FUZZ_CHECK(paramblock::CurrentSlot(area) == used);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t erased = in.byte();
    const uint8_t balanced = in.byte();
    paramblock_tool::Sets sets;
    const uint8_t given = in.byte();
    for (uint32_t set = 0; set < 4; ++set) {
        if ((given >> set & 1) != 0) {
            paramblock::Calibration c{};
            for (int32_t& m : c) {
                m = (given & 0x80) != 0 ? in.i32() : static_cast<int16_t>(in.u16());
            }
            sets[set] = c;
        }
    }
    const uint8_t sequenceByte = in.byte();
    const uint8_t slotByte = in.byte();
    std::optional<uint8_t> sequence;
    if ((given & 0x10) != 0) {
        sequence = sequenceByte;
    }
    const std::optional<uint32_t> slot =
        (given & 0x20) != 0 ? std::optional<uint32_t>(slotByte % 8) : std::nullopt;

    // The file: the input's remaining bytes, repeated to fill an area or a flash image's area
    // (the rest of the image a pattern), or as they are.
    const size_t length = (mode & 3) == 1 ? paramblock::kFlashSize
                          : (mode & 3) == 2 ? in.left()
                                            : paramblock::kAreaSize;
    const uint8_t* rest = in.rest();
    const size_t available = in.left();
    std::vector<uint8_t> file(length);
    const size_t areaAt = length == paramblock::kFlashSize ? paramblock::kAreaAddress : 0;
    for (size_t i = 0; i < length; ++i) {
        const size_t n = i - (i >= areaAt ? areaAt : 0);
        file[i] = i < areaAt ? static_cast<uint8_t>(i * 7) : available == 0 ? 0xFF : rest[n % available];
    }
    if (length == paramblock::kAreaSize || length == paramblock::kFlashSize) {
        for (uint32_t s = 0; s < kBlocks; ++s) {
            uint8_t* block = file.data() + areaAt + s * kBlockSize;
            if ((erased >> s & 1) != 0) {
                std::fill_n(block, kBlockSize, 0xFF);
            } else if ((balanced >> s & 1) != 0) {
                block[kBlockSize - 1] = 0;
                block[kBlockSize - 1] = static_cast<uint8_t>(0u - Sum(block));
            }
        }
    }

    std::string report;
    try {
        report = paramblock_tool::Report(file, "area.bin");
    } catch (const paramblock::Error& refused) {
        FUZZ_CHECK(length != paramblock::kAreaSize && length != paramblock::kFlashSize);
        const std::string why = refused.what();
        FUZZ_CHECK(why.rfind("area.bin is " + std::to_string(length) + " bytes: neither", 0) == 0);
        return 0;
    }
    FUZZ_CHECK(length == paramblock::kAreaSize || length == paramblock::kFlashSize);
    const Area area = paramblock_tool::AreaOf(file, paramblock_tool::AreaOffset(file, "area.bin"));
    CheckReport(report, area);
    CheckAdd(area, sets, sequence, slot);
    return 0;
}
