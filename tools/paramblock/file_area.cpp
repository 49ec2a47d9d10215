#include "file_area.hpp"

#include <algorithm>

namespace paramblock_tool {

using paramblock::Error;

size_t AreaOffset(const std::vector<uint8_t>& file, const std::string& path) {
    if (file.size() == paramblock::kAreaSize) {
        return 0;
    }
    if (file.size() == paramblock::kFlashSize) {
        return paramblock::kAreaAddress;
    }
    throw Error(path + " is " + std::to_string(file.size()) + " bytes: neither a parameter area (" +
                std::to_string(paramblock::kAreaSize) + ") nor a flash image (" +
                std::to_string(paramblock::kFlashSize) + ")");
}

paramblock::Area AreaOf(const std::vector<uint8_t>& file, size_t offset) {
    return paramblock::Area(
        file.begin() + static_cast<std::ptrdiff_t>(offset),
        file.begin() + static_cast<std::ptrdiff_t>(offset + paramblock::kAreaSize));
}

void PutArea(std::vector<uint8_t>& file, size_t offset, const paramblock::Area& area) {
    std::copy(area.begin(), area.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

uint32_t Add(paramblock::Area& area, const Sets& sets, std::optional<uint8_t> sequence,
             std::optional<uint32_t> slot) {
    paramblock::Area result = area;
    const std::optional<uint32_t> current = paramblock::CurrentSlot(area);
    uint32_t used = 0;
    if (slot) {
        const uint8_t number =
            sequence ? *sequence
                     : (current ? static_cast<uint8_t>(area[*current * paramblock::kBlockSize] + 1)
                                : uint8_t{0});
        paramblock::PlaceBlock(result, *slot, paramblock::MakeBlock(number, sets));
        used = *slot;
    } else {
        used = paramblock::AppendBlock(result, sets, sequence);
    }
    // The firmware takes a block as newer when its number is at most 128 ahead of the one it
    // holds, walking the slots in order: a number too far ahead, or an area whose numbers lie
    // all round the circle, leaves another block current and the new one unused.
    const std::optional<uint32_t> selected = paramblock::CurrentSlot(result);
    if (selected != used) {
        const auto number = [&result](uint32_t s) {
            return std::to_string(result[s * paramblock::kBlockSize]);
        };
        throw Error("the new block (slot " + std::to_string(used) + ", sequence " + number(used) +
                    ") would not be the one the firmware selects: slot " +
                    std::to_string(*selected) + " (sequence " + number(*selected) +
                    ") would stay current; choose another --sequence, or erase the area with "
                    "'paramblock new --force'");
    }
    area = std::move(result);
    return used;
}

std::string Report(const std::vector<uint8_t>& file, const std::string& path) {
    return paramblock::Describe(AreaOf(file, AreaOffset(file, path)));
}

}  // namespace paramblock_tool
