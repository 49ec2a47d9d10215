#include "png_io.hpp"

#include <png.h>

namespace pngio {

bool Read(const std::string& path, RgbImage& image, std::string& error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        error = path + ": " + png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(png));
    const png_color black{0, 0, 0};
    if (png_image_finish_read(&png, &black, bytes.data(), 0, nullptr) == 0) {
        error = path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.resize(static_cast<size_t>(image.width) * image.height);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = static_cast<uint32_t>(bytes[3 * i]) << 16 |
                          static_cast<uint32_t>(bytes[3 * i + 1]) << 8 | bytes[3 * i + 2];
    }
    return true;
}

bool Write(const std::string& path, const RgbImage& image, std::string& error) {
    std::vector<uint8_t> bytes(image.pixels.size() * 3);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        bytes[3 * i] = static_cast<uint8_t>(image.pixels[i] >> 16);
        bytes[3 * i + 1] = static_cast<uint8_t>(image.pixels[i] >> 8);
        bytes[3 * i + 2] = static_cast<uint8_t>(image.pixels[i]);
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&png, path.c_str(), 0, bytes.data(), 0, nullptr) == 0) {
        error = path + ": " + png.message;
        return false;
    }
    return true;
}

}  // namespace pngio
