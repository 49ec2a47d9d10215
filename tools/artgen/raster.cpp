#include "raster.hpp"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace artgen {

namespace {

uint32_t Channel(uint32_t rgb, int shift) {
    return (rgb >> shift) & 0xFFu;
}

uint32_t Blend(uint32_t under, uint32_t over, double opacity) {
    return Mix(under, over, opacity);
}

double Clamp01(double t) {
    return std::clamp(t, 0.0, 1.0);
}

}  // namespace

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    t = Clamp01(t);
    uint32_t result = 0;
    for (int shift : {16, 8, 0}) {
        const double value = Channel(a, shift) * (1.0 - t) + Channel(b, shift) * t;
        result |= static_cast<uint32_t>(std::lround(value)) << shift;
    }
    return result;
}

Shader LinearGradient(Point from, Point to, uint32_t a, uint32_t b) {
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double length2 = dx * dx + dy * dy;
    return [=](Point p) {
        const double t = ((p.x - from.x) * dx + (p.y - from.y) * dy) / length2;
        return Mix(a, b, t);
    };
}

Shader RadialGradient(Point centre, double radius, uint32_t a, uint32_t b) {
    return [=](Point p) {
        const double d = std::hypot(p.x - centre.x, p.y - centre.y);
        return Mix(a, b, d / radius);
    };
}

Painter::Painter(int width, int height, int samples, uint32_t background)
    : width_(width),
      height_(height),
      samples_(samples),
      pixels_(static_cast<size_t>(width) * samples * height * samples, background) {}

Point Painter::samplePoint(int sx, int sy) const {
    return Point{(sx + 0.5) / samples_, (sy + 0.5) / samples_};
}

void Painter::fill(const std::function<bool(Point)>& inside, const Shader& shader, double opacity) {
    const int columns = width_ * samples_;
    const int rows = height_ * samples_;
    for (int sy = 0; sy < rows; ++sy) {
        for (int sx = 0; sx < columns; ++sx) {
            const Point p = samplePoint(sx, sy);
            if (inside(p)) {
                uint32_t& sample = pixels_[static_cast<size_t>(sy) * columns + sx];
                sample = Blend(sample, shader(p), opacity);
            }
        }
    }
}

void Painter::circle(Point centre, double radius, const Shader& shader, double opacity) {
    fill([=](Point p) { return std::hypot(p.x - centre.x, p.y - centre.y) <= radius; }, shader,
         opacity);
}

void Painter::ring(Point centre, double inner, double outer, const Shader& shader) {
    fill(
        [=](Point p) {
            const double d = std::hypot(p.x - centre.x, p.y - centre.y);
            return d >= inner && d <= outer;
        },
        shader);
}

void Painter::ellipse(Point centre, double rx, double ry, const Shader& shader, double opacity) {
    fill(
        [=](Point p) {
            const double u = (p.x - centre.x) / rx;
            const double v = (p.y - centre.y) / ry;
            return u * u + v * v <= 1.0;
        },
        shader, opacity);
}

void Painter::roundedRect(double x0, double y0, double x1, double y1, double radius,
                          const Shader& shader) {
    fill(
        [=](Point p) {
            const double cx = std::clamp(p.x, x0 + radius, x1 - radius);
            const double cy = std::clamp(p.y, y0 + radius, y1 - radius);
            return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1 &&
                   std::hypot(p.x - cx, p.y - cy) <= radius;
        },
        shader);
}

void Painter::line(Point a, Point b, double width, const Shader& shader) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    fill(
        [=](Point p) {
            const double t = Clamp01(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2);
            return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy)) <= width / 2;
        },
        shader);
}

double Painter::text(const std::string& face, const std::string& text, double left, double baseline,
                     double pixelHeight, const Shader& shader, double tracking) {
    // Released however this returns (a font that cannot be opened, a missing glyph).
    struct FreeType {
        FT_Library library = nullptr;
        FT_Face font = nullptr;
        ~FreeType() {
            if (font != nullptr) {
                FT_Done_Face(font);
            }
            if (library != nullptr) {
                FT_Done_FreeType(library);
            }
        }
    } freeType;
    if (FT_Init_FreeType(&freeType.library) != 0 ||
        FT_New_Face(freeType.library, face.c_str(), 0, &freeType.font) != 0) {
        throw std::runtime_error("cannot open the font " + face);
    }
    const FT_Face font = freeType.font;
    FT_Set_Pixel_Sizes(font, 0, static_cast<FT_UInt>(std::lround(pixelHeight * samples_)));
    const int columns = width_ * samples_;
    const int rows = height_ * samples_;
    double pen = left * samples_;
    for (const char c : text) {
        if (FT_Load_Char(font, static_cast<unsigned char>(c), FT_LOAD_RENDER) != 0) {
            throw std::runtime_error(std::string("no glyph for '") + c + "'");
        }
        const FT_GlyphSlot glyph = font->glyph;
        const int originX = static_cast<int>(std::lround(pen)) + glyph->bitmap_left;
        const int originY = static_cast<int>(std::lround(baseline * samples_)) - glyph->bitmap_top;
        for (unsigned row = 0; row < glyph->bitmap.rows; ++row) {
            for (unsigned column = 0; column < glyph->bitmap.width; ++column) {
                const int sx = originX + static_cast<int>(column);
                const int sy = originY + static_cast<int>(row);
                const uint8_t coverage = glyph->bitmap.buffer[row * glyph->bitmap.pitch + column];
                if (sx < 0 || sy < 0 || sx >= columns || sy >= rows || coverage == 0) {
                    continue;
                }
                uint32_t& sample = pixels_[static_cast<size_t>(sy) * columns + sx];
                sample = Blend(sample, shader(samplePoint(sx, sy)), coverage / 255.0);
            }
        }
        pen += static_cast<double>(glyph->advance.x) / 64.0 + tracking * samples_;
    }
    return (pen / samples_) - left;
}

pngio::RgbImage Painter::resolve() const {
    pngio::RgbImage image;
    image.width = width_;
    image.height = height_;
    image.pixels.resize(static_cast<size_t>(width_) * height_);
    const int columns = width_ * samples_;
    const int count = samples_ * samples_;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            uint32_t sums[3] = {0, 0, 0};
            for (int sy = 0; sy < samples_; ++sy) {
                for (int sx = 0; sx < samples_; ++sx) {
                    const uint32_t sample =
                        pixels_[static_cast<size_t>(y * samples_ + sy) * columns + x * samples_ +
                                sx];
                    sums[0] += Channel(sample, 16);
                    sums[1] += Channel(sample, 8);
                    sums[2] += Channel(sample, 0);
                }
            }
            uint32_t rgb = 0;
            for (int i = 0; i < 3; ++i) {
                rgb = (rgb << 8) | ((sums[i] + count / 2) / count);
            }
            image.at(x, y) = rgb;
        }
    }
    return image;
}

}  // namespace artgen
