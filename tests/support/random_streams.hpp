// Unit-test support: compressed pictures whose streams are random bytes (every byte string is a
// valid stream), biased towards runs and long references so that windows fill in the middle of
// them, and what a plain decoder and the window walk say the driver must be handed.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "image_codec.hpp"

namespace testsupport {

struct RandomStream {
    int bpp = 8;
    int width = 1;
    int height = 1;
    std::vector<uint8_t> record;  // header, palette (4 and 8 bits), stream
    std::vector<uint8_t> stream;

    int stride() const { return (bpp * width + 7) / 8; }
};

inline RandomStream MakeRandomStream(std::mt19937& random) {
    RandomStream s;
    static constexpr int kBpp[] = {1, 4, 8, 8};
    s.bpp = kBpp[random() % 4];
    s.width = 1 + static_cast<int>(random() % (random() % 4 == 0 ? 320 : 80));
    s.height = 1 + static_cast<int>(random() % 24);
    s.record = {static_cast<uint8_t>(0x80 | s.bpp), static_cast<uint8_t>(s.width),
                static_cast<uint8_t>(s.width >> 8), static_cast<uint8_t>(s.height), 0};
    if (s.bpp != 1) {
        // Entry n is the colour n, so a drawn pixel shows its index.
        s.record.push_back(static_cast<uint8_t>((1 << s.bpp) - 1));
        for (int n = 0; n < (1 << s.bpp); ++n) {
            s.record.insert(s.record.end(), {static_cast<uint8_t>(n), 0, 0});
        }
    }
    // One item per output byte at most, and a flag byte per eight.
    const size_t size = static_cast<size_t>(s.stride()) * s.height * 9 / 8 + 2;
    for (size_t i = 0; i < size; ++i) {
        const uint32_t r = random();
        // A third are 0xF8..0xFF: a run of the last byte when flagged a reference.
        s.stream.push_back(static_cast<uint8_t>(r % 3 == 0 ? 0xF8 | (r >> 8 & 7) : r >> 8));
    }
    s.record.insert(s.record.end(), s.stream.begin(), s.stream.end());
    return s;
}

// One PixelDrawMultiple call, with the pixel bytes it was handed and where in the window they lie.
struct PieceCall {
    int32_t x, y, x0, count, bpp;
    int32_t offset;              // of the data in the window
    std::vector<uint8_t> bytes;  // the bytes that hold the call's pixels
    bool operator==(const PieceCall&) const = default;
};

inline std::vector<uint8_t> PieceBytes(const uint8_t* data, int32_t x0, int32_t count,
                                       int32_t bpp) {
    // x0 counts pixels into the first byte only where a byte holds more than one.
    const int32_t bits = ((x0 & 7) % (8 / bpp) + count) * bpp;
    return std::vector<uint8_t>(data, data + (bits + 7) / 8);
}

// The calls a picture drawn at (x, y) under the clip must make: the stream decoded plainly as far
// as the rows that reach the clip's bottom, handed over one 32-byte window of rows at a time.
inline std::vector<PieceCall> ExpectedPieces(const RandomStream& s, int32_t x, int32_t y,
                                             int32_t xmin, int32_t ymin, int32_t xmax,
                                             int32_t ymax) {
    std::vector<PieceCall> pieces;
    if (xmin > xmax || ymin > ymax || x > xmax || x + s.width <= xmin || y > ymax ||
        y + s.height <= ymin) {
        return pieces;
    }
    const int perByte = 8 / s.bpp;
    const int stride = s.stride();
    const int rows = std::min(s.height, ymax + 1 - y);
    const std::vector<uint8_t> plain =
        imagegen::Decompress(s.stream, static_cast<size_t>(stride) * rows);
    const int first = std::max(xmin - x, 0);
    const int last = std::min(xmax - x, s.width - 1);
    for (int row = 0; row < rows; ++row) {
        for (int b = 0, piece = 0; b < stride && y + row >= ymin; b += piece) {
            const int at = row * stride + b;
            piece = std::min(stride - b, 32 - at % 32);
            const int from = std::max(b * perByte, first);
            const int to = std::min((b + piece) * perByte - 1, last);
            if (from <= to) {
                const int byte = from / perByte;
                pieces.push_back({x + from, y + row, from & 7, to - from + 1, s.bpp,
                                  at % 32 + byte - b,
                                  PieceBytes(plain.data() + row * stride + byte, from & 7,
                                             to - from + 1, s.bpp)});
            }
        }
    }
    return pieces;
}

}  // namespace testsupport
