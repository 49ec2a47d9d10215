// 8-bit RGB pictures in and out of PNG files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pngio {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, row by row

    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Pictures above this many pixels (4096 x 4096) are refused before any pixel is decoded: a
// file of a few bytes may claim any size.
constexpr size_t kMaxPixels = size_t{1} << 24;

// Alpha is composed over black; grey and palette files are expanded to RGB. On failure the
// error is one line starting with the path.
bool Read(const std::string& path, RgbImage& image, std::string& error);
bool Write(const std::string& path, const RgbImage& image, std::string& error);

// The same for a file's bytes in memory; name stands for the path in errors.
bool Decode(const uint8_t* data, size_t size, const std::string& name, RgbImage& image,
            std::string& error, size_t maxPixels = kMaxPixels);
bool Encode(const RgbImage& image, std::vector<uint8_t>& file, std::string& error);

}  // namespace pngio
