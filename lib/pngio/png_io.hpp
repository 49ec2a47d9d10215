// 8-bit RGB pictures in and out of PNG files.
#pragma once

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

// Alpha is composed over black; grey and palette files are expanded to RGB.
bool Read(const std::string& path, RgbImage& image, std::string& error);
bool Write(const std::string& path, const RgbImage& image, std::string& error);

}  // namespace pngio
