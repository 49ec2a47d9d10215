// The panel's picture records: plain 1-, 4-, 8- and 16-bit pixel data, the palette quantiser,
// and the compressed form (flag bytes over literal bytes and back-references into a 32-byte
// history of the output).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "png_io.hpp"

namespace imagegen {

constexpr uint8_t kMono = 0x01;
constexpr uint8_t kPalette4 = 0x04;
constexpr uint8_t kPalette8 = 0x08;
constexpr uint8_t kCompressed = 0x80;
constexpr uint8_t kDirect16 = 0xC0;

// True for the seven formats a record may have.
bool IsFormat(uint8_t format);
// Bits per pixel of a format (16 for the direct-colour one).
int BitsPerPixel(uint8_t format);
// Bytes of one row of plain pixel data.
size_t Stride(int bpp, int width);

// A picture as palette indexes (or 0/1 values for 1 bit per pixel).
struct Indexed {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indexes;
    std::vector<uint32_t> palette;  // 0x00RRGGBB; empty for 1 bit per pixel
};

// At most maxColors colours: the exact colours when there are no more, otherwise median cut
// refined by a few nearest-colour passes. Deterministic.
Indexed Quantize(const pngio::RgbImage& picture, int maxColors);
// 1 bit per pixel: 1 (drawn in the foreground colour) where a pixel is at least half bright.
Indexed Threshold(const pngio::RgbImage& picture);

// Plain pixel data, rows top to bottom, each starting on a byte boundary; 1-bit pixels from the
// most significant bit, 4-bit pixels high nibble first.
std::vector<uint8_t> PackIndexed(const Indexed& picture, int bpp);
// Little-endian RGB 5-6-5, two bytes per pixel.
std::vector<uint8_t> PackDirect16(const pngio::RgbImage& picture);
uint16_t ToRgb565(uint32_t rgb);

// The compressed stream: at each position the longest match (2..9 bytes) within the last 32
// bytes of output (the history starts as 32 zeros), else a literal.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& plain);
// Decodes size bytes from a stream (for checks; the firmware has its own decoder).
std::vector<uint8_t> Decompress(const std::vector<uint8_t>& stream, size_t size);

struct Encoded {
    std::vector<uint8_t> record;  // header, palette, pixel data
    size_t plainBytes = 0;        // the pixel data in plain form
    size_t dataBytes = 0;         // the pixel data as stored
    size_t colors = 0;            // palette entries
};

// A whole record of the given format from an RGB picture.
Encoded Encode(const pngio::RgbImage& picture, uint8_t format);
// The same from indexes already chosen (palette formats and 1 bit per pixel).
Encoded EncodeIndexed(const Indexed& picture, uint8_t format);

// The initialiser rows of a byte array in a generated source: twelve "0xNN," a row, each row
// on a new line indented by four spaces, without the braces.
std::string ByteRows(const std::vector<uint8_t>& bytes);

// A generated C++ source defining the record as a byte array in program memory; the comment
// line carrying the generator's command goes below the first line.
std::string RecordSource(const std::string& name, const std::string& origin,
                         const std::vector<uint8_t>& record, const std::string& commandComment);

}  // namespace imagegen
