#include "paramblock.hpp"

#include <cstring>
#include <numeric>
#include <sstream>

namespace paramblock {

namespace {

uint32_t Sum(const uint8_t* block) {
    return std::accumulate(block, block + kBlockSize, 0u);
}

void PutWord(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t GetWord(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

void CheckArea(const Area& area) {
    if (area.size() != kAreaSize) {
        throw Error("a parameter area is " + std::to_string(kAreaSize) + " bytes, not " +
                    std::to_string(area.size()));
    }
}

bool Newer(uint8_t candidate, uint8_t current) {
    return static_cast<uint8_t>(candidate - current) <= 128;
}

}  // namespace

Block MakeBlock(uint8_t sequence, const std::array<std::optional<Calibration>, 4>& sets) {
    Block block{};
    block[0] = sequence;
    for (uint32_t set = 0; set < 4; ++set) {
        if (!sets[set]) {
            continue;
        }
        uint8_t* record = block.data() + CalibrationOffset(set);
        PutWord(record, kCalibrationMarker);
        for (size_t i = 0; i < 7; ++i) {
            PutWord(record + 4 + 4 * i, static_cast<uint32_t>((*sets[set])[i]));
        }
    }
    block[kBalanceOffset] = static_cast<uint8_t>(256 - Sum(block.data()) % 256);
    if (!IsValid(block.data())) {
        throw Error("this block would read as erased flash; it cannot be stored");
    }
    return block;
}

bool IsErased(const uint8_t* block) {
    for (uint32_t i = 0; i < kBlockSize; ++i) {
        if (block[i] != 0xFF) {
            return false;
        }
    }
    return true;
}

bool IsValid(const uint8_t* block) {
    const uint32_t sum = Sum(block);
    return sum % 256 == 0 && sum != kBlockSize * 0xFF;
}

std::optional<Calibration> CalibrationOf(const uint8_t* block, uint32_t set) {
    if (set > 3) {
        return std::nullopt;
    }
    const uint8_t* record = block + CalibrationOffset(set);
    if (GetWord(record) != kCalibrationMarker) {
        return std::nullopt;
    }
    Calibration c{};
    for (size_t i = 0; i < 7; ++i) {
        c[i] = static_cast<int32_t>(GetWord(record + 4 + 4 * i));
    }
    return c;
}

Area ErasedArea() {
    return Area(kAreaSize, 0xFF);
}

std::optional<uint32_t> CurrentSlot(const Area& area) {
    CheckArea(area);
    std::optional<uint32_t> current;
    for (uint32_t slot = 0; slot < kBlocks; ++slot) {
        const uint8_t* block = area.data() + slot * kBlockSize;
        if (!IsValid(block)) {
            continue;
        }
        if (!current || Newer(block[0], area[*current * kBlockSize])) {
            current = slot;
        }
    }
    return current;
}

void PlaceBlock(Area& area, uint32_t slot, const Block& block) {
    CheckArea(area);
    if (slot >= kBlocks) {
        throw Error("slot " + std::to_string(slot) + " does not exist (slots are 0-5)");
    }
    uint8_t* at = area.data() + slot * kBlockSize;
    if (!IsErased(at)) {
        throw Error("slot " + std::to_string(slot) + " is not erased");
    }
    std::memcpy(at, block.data(), kBlockSize);
}

uint32_t AppendBlock(Area& area, const std::array<std::optional<Calibration>, 4>& sets,
                     std::optional<uint8_t> sequence) {
    const std::optional<uint32_t> current = CurrentSlot(area);
    const uint8_t next =
        sequence ? *sequence
                 : (current ? static_cast<uint8_t>(area[*current * kBlockSize] + 1) : uint8_t{0});
    const uint32_t first = current ? (*current + 1) % kBlocks : 0;
    std::optional<uint32_t> slot;
    for (uint32_t i = 0; i < kBlocks && !slot; ++i) {
        const uint32_t candidate = (first + i) % kBlocks;
        if (IsErased(area.data() + candidate * kBlockSize)) {
            slot = candidate;
        }
    }
    if (!slot) {
        // Erase the page after the current block's page: never the current block itself. An
        // area of only invalid blocks has no current block: its first page goes.
        const uint32_t blocksPerPage = kPageSize / kBlockSize;
        const uint32_t pages = kBlocks / blocksPerPage;
        const uint32_t page = current ? (*current / blocksPerPage + 1) % pages : 0;
        std::memset(area.data() + page * kPageSize, 0xFF, kPageSize);
        slot = page * blocksPerPage;
    }
    PlaceBlock(area, *slot, MakeBlock(next, sets));
    return *slot;
}

Calibration CalibrationFromPoints(const std::array<Point, 3>& s, const std::array<Point, 3>& r) {
    const int64_t xa = r[0].x, ya = r[0].y, xb = r[1].x, yb = r[1].y, xc = r[2].x, yc = r[2].y;
    const int64_t sxa = s[0].x, sya = s[0].y, sxb = s[1].x, syb = s[1].y, sxc = s[2].x,
                  syc = s[2].y;
    const int64_t k = (xa - xc) * (yb - yc) - (xb - xc) * (ya - yc);
    if (k == 0) {
        throw Error("the three reference points lie on one line");
    }
    const int64_t m[7] = {
        (sxa - sxc) * (yb - yc) - (sxb - sxc) * (ya - yc),
        (xa - xc) * (sxb - sxc) - (sxa - sxc) * (xb - xc),
        ya * (xc * sxb - xb * sxc) + yb * (xa * sxc - xc * sxa) + yc * (xb * sxa - xa * sxb),
        (sya - syc) * (yb - yc) - (syb - syc) * (ya - yc),
        (xa - xc) * (syb - syc) - (sya - syc) * (xb - xc),
        ya * (xc * syb - xb * syc) + yb * (xa * syc - xc * sya) + yc * (xb * sya - xa * syb),
        k,
    };
    Calibration c{};
    for (size_t i = 0; i < 7; ++i) {
        if (m[i] < INT32_MIN || m[i] > INT32_MAX) {
            throw Error("the calibration does not fit 32-bit coefficients");
        }
        c[i] = static_cast<int32_t>(m[i]);
    }
    return c;
}

Point Apply(const Calibration& c, Point raw) {
    if (c[6] == 0) {
        return Point{0, 0};
    }
    const auto axis = [&](int32_t a, int32_t b, int32_t k) {
        const uint32_t n = static_cast<uint32_t>(a) * static_cast<uint32_t>(raw.x) +
                           static_cast<uint32_t>(b) * static_cast<uint32_t>(raw.y) +
                           static_cast<uint32_t>(k);
        const int64_t q = static_cast<int64_t>(static_cast<int32_t>(n)) / c[6];
        return static_cast<int32_t>(static_cast<int16_t>(static_cast<uint16_t>(q)));
    };
    return Point{axis(c[0], c[1], c[2]), axis(c[3], c[4], c[5])};
}

std::string Describe(const Area& area) {
    CheckArea(area);
    std::ostringstream out;
    const std::optional<uint32_t> current = CurrentSlot(area);
    for (uint32_t slot = 0; slot < kBlocks; ++slot) {
        const uint8_t* block = area.data() + slot * kBlockSize;
        char address[16];
        std::snprintf(address, sizeof(address), "0x%05X", kAreaAddress + slot * kBlockSize);
        out << "slot " << slot << " at " << address << ": ";
        if (IsErased(block)) {
            out << "erased";
        } else if (!IsValid(block)) {
            out << "invalid (byte sum " << Sum(block) % 256 << " modulo 256)";
        } else {
            out << "sequence " << static_cast<unsigned>(block[0]);
        }
        out << (current && *current == slot ? "  <- current" : "") << "\n";
    }
    if (!current) {
        out << "no valid block: the firmware uses its defaults (no touch calibration)\n";
        return out.str();
    }
    const uint8_t* block = area.data() + *current * kBlockSize;
    for (uint32_t set = 0; set < 4; ++set) {
        out << "calibration set " << set << ": ";
        if (const auto c = CalibrationOf(block, set)) {
            for (size_t i = 0; i < 7; ++i) {
                out << (i == 0 ? "" : " ") << "M" << i << "=" << (*c)[i];
            }
        } else {
            out << "not stored";
        }
        out << "\n";
    }
    return out.str();
}

}  // namespace paramblock
