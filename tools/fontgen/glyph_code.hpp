// The run-length pixel code of glyph cells: each byte b != 0 gives b >> 4 background pixels
// then b & 15 foreground pixels; an escape 0, m gives (m & 127) * 8 foreground pixels when bit 7
// of m is set, otherwise m * 8 background pixels.
#pragma once

#include <cstdint>
#include <vector>

namespace fontgen {

// The shortest pixel code of a cell given row by row (true = foreground). The whole cell is
// coded, so opaque text paints its background completely.
std::vector<uint8_t> EncodeCell(const std::vector<bool>& pixels);

}  // namespace fontgen
