#include "png_io.hpp"

#include <png.h>

namespace pngio {

namespace {

// The pixels of a file whose header has been read; frees the reader in every case.
bool Finish(png_image& png, const std::string& name, RgbImage& image, std::string& error,
            size_t maxPixels) {
    const size_t pixels = static_cast<size_t>(png.width) * png.height;
    if (pixels > maxPixels) {
        error = name + ": " + std::to_string(png.width) + " x " + std::to_string(png.height) +
                " pixels is more than the " + std::to_string(maxPixels) + " a picture may have";
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    // Three bytes a pixel, counted in size_t: libpng's own size macro is 32-bit.
    std::vector<uint8_t> bytes(3 * pixels);
    const png_color black{0, 0, 0};
    if (png_image_finish_read(&png, &black, bytes.data(), 0, nullptr) == 0) {
        error = name + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels.resize(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        image.pixels[i] = static_cast<uint32_t>(bytes[3 * i]) << 16 |
                          static_cast<uint32_t>(bytes[3 * i + 1]) << 8 | bytes[3 * i + 2];
    }
    return true;
}

std::vector<uint8_t> RgbBytes(const RgbImage& image) {
    std::vector<uint8_t> bytes(image.pixels.size() * 3);
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        bytes[3 * i] = static_cast<uint8_t>(image.pixels[i] >> 16);
        bytes[3 * i + 1] = static_cast<uint8_t>(image.pixels[i] >> 8);
        bytes[3 * i + 2] = static_cast<uint8_t>(image.pixels[i]);
    }
    return bytes;
}

png_image Writer(const RgbImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    return png;
}

}  // namespace

bool Read(const std::string& path, RgbImage& image, std::string& error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        error = path + ": " + png.message;
        return false;
    }
    return Finish(png, path, image, error, kMaxPixels);
}

bool Decode(const uint8_t* data, size_t size, const std::string& name, RgbImage& image,
            std::string& error, size_t maxPixels) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&png, data, size) == 0) {
        error = name + ": " + png.message;
        return false;
    }
    return Finish(png, name, image, error, maxPixels);
}

bool Write(const std::string& path, const RgbImage& image, std::string& error) {
    const std::vector<uint8_t> bytes = RgbBytes(image);
    png_image png = Writer(image);
    if (png_image_write_to_file(&png, path.c_str(), 0, bytes.data(), 0, nullptr) == 0) {
        error = path + ": " + png.message;
        return false;
    }
    return true;
}

bool Encode(const RgbImage& image, std::vector<uint8_t>& file, std::string& error) {
    const std::vector<uint8_t> bytes = RgbBytes(image);
    png_image png = Writer(image);
    png_alloc_size_t size = 0;
    // The first call measures, the second writes.
    if (png_image_write_to_memory(&png, nullptr, &size, 0, bytes.data(), 0, nullptr) == 0) {
        error = png.message;
        return false;
    }
    file.resize(size);
    if (png_image_write_to_memory(&png, file.data(), &size, 0, bytes.data(), 0, nullptr) == 0) {
        error = png.message;
        return false;
    }
    file.resize(size);
    return true;
}

}  // namespace pngio
