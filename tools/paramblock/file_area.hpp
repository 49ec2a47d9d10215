// The parameter area inside a file given to the paramblock tool (an area of its own or a whole
// flash image), and what the tool's add and read commands do with it, on bytes in memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "paramblock.hpp"

namespace paramblock_tool {

using Sets = std::array<std::optional<paramblock::Calibration>, 4>;

// Where the area starts in a file's bytes; a file of any other size is refused (Error naming
// the path and its size).
size_t AreaOffset(const std::vector<uint8_t>& file, const std::string& path);
paramblock::Area AreaOf(const std::vector<uint8_t>& file, size_t offset);
void PutArea(std::vector<uint8_t>& file, size_t offset, const paramblock::Area& area);

// Saves a new block with the given sets: into the given slot (which must be erased) with the
// given sequence number or the next one, or, without a slot, as AppendBlock does. Returns the
// slot used. A block the firmware would not select is refused (Error), the area unchanged.
uint32_t Add(paramblock::Area& area, const Sets& sets, std::optional<uint8_t> sequence,
             std::optional<uint32_t> slot);

// The read command's report of a file's area.
std::string Report(const std::vector<uint8_t>& file, const std::string& path);

}  // namespace paramblock_tool
