// artgen: draws the panel project's artwork and writes it as the generated picture source of the
// firmware (firmware/project/pictures_generated.cpp).
//
//   artgen --regular FONT.ttf --bold FONT.ttf --out pictures_generated.cpp [--png-dir DIR]
//
// The pictures: the welcome screen's logo (300 x 65, 8 bits per pixel, compressed, 46 colours),
// the small logo of the screen headers (100 x 21, the same form, 48 colours), and a grey and a
// green round lamp (80 x 80, 16 bits per pixel) for the LEDs. --png-dir also writes each picture
// as the firmware will show it (decoded from its record) for a look, enlarged --png-scale times.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli.hpp"
#include "command_line.hpp"
#include "image_codec.hpp"
#include "raster.hpp"

namespace {

using artgen::LinearGradient;
using artgen::Painter;
using artgen::Point;
using artgen::RadialGradient;
using artgen::Solid;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBrandBlue = 0x1E5689;  // the screens' button blue
constexpr uint32_t kDeepBlue = 0x0C2A4D;
constexpr uint32_t kLightBlue = 0x5B93CF;
constexpr uint32_t kNavy = 0x000080;
constexpr uint32_t kSlate = 0x3C4E5A;
constexpr uint32_t kSignalGreen = 0x35C24F;
constexpr int kSamples = 4;

struct Fonts {
    std::string regular;
    std::string bold;
};

// The emblem: a round badge with a small operator panel in it (a screen with two rows of text
// and a lit green button).
void Emblem(Painter& p, Point centre, double radius) {
    p.circle(centre, radius,
             LinearGradient({centre.x - radius, centre.y - radius},
                            {centre.x + radius, centre.y + radius}, kLightBlue, kDeepBlue));
    p.ring(centre, radius * 0.86, radius * 0.93, Solid(kWhite));
    const double w = radius * 1.05;
    const double h = radius * 0.78;
    const double x0 = centre.x - w / 2;
    const double y0 = centre.y - h / 2;
    const double stroke = radius * 0.11;
    p.roundedRect(x0, y0, x0 + w, y0 + h, radius * 0.12, Solid(kWhite));
    p.roundedRect(x0 + stroke, y0 + stroke, x0 + w - stroke, y0 + h - stroke, radius * 0.06,
                  Solid(kBrandBlue));
    p.line({x0 + w * 0.2, y0 + h * 0.36}, {x0 + w * 0.62, y0 + h * 0.36}, stroke * 0.9,
           Solid(kWhite));
    p.line({x0 + w * 0.2, y0 + h * 0.62}, {x0 + w * 0.5, y0 + h * 0.62}, stroke * 0.9,
           Solid(kWhite));
    p.circle({x0 + w * 0.76, y0 + h * 0.62}, radius * 0.1, Solid(kSignalGreen));
}

pngio::RgbImage Logo(const Fonts& fonts) {
    Painter p(300, 65, kSamples, kWhite);
    Emblem(p, {33, 32.5}, 30);
    const auto wordmark = LinearGradient({0, 6}, {0, 44}, kBrandBlue, kNavy);
    p.text(fonts.bold, "VARO", 74, 43, 50, wordmark, 1.5);
    p.roundedRect(75, 48, 292, 50, 1, LinearGradient({75, 0}, {292, 0}, kBrandBlue, kWhite));
    p.text(fonts.regular, "PANELE OPERATORSKIE", 76, 62, 12.5, Solid(kSlate), 1.2);
    return p.resolve();
}

pngio::RgbImage SmallLogo(const Fonts& fonts) {
    Painter p(100, 21, kSamples, kWhite);
    Emblem(p, {10.5, 10.5}, 9.7);
    const double width = p.text(fonts.bold, "VARO", 25, 16, 17,
                                LinearGradient({0, 3}, {0, 16}, kBrandBlue, kNavy), 0.8);
    p.roundedRect(25.5, 18, 25 + width, 19, 0.5,
                  LinearGradient({25, 0}, {25 + width, 0}, kBrandBlue, kWhite));
    return p.resolve();
}

// A round lamp in a metal bezel: lens colour lit from the upper left, a soft highlight.
pngio::RgbImage Lamp(uint32_t centreColour, uint32_t edgeColour, double glow) {
    Painter p(80, 80, kSamples, kWhite);
    const Point centre{39.5, 39.5};
    p.circle(centre, 38.5, LinearGradient({8, 8}, {72, 72}, 0xE8EBEE, 0x5E656C));
    p.circle(centre, 33.5, LinearGradient({8, 8}, {72, 72}, 0x4A5057, 0xD5D9DD));
    p.circle(centre, 31, RadialGradient({33, 31}, 34, centreColour, edgeColour));
    p.ellipse({30, 25}, 14, 8.5, Solid(kWhite), 0.55 * glow + 0.25);
    p.ellipse({30, 24}, 7, 3.5, Solid(kWhite), 0.35);
    return p.resolve();
}

struct Picture {
    const char* name;
    const char* description;
    // For a 16 bpp picture: the record's storage, whose type (project/pictures.hpp) puts the
    // pixels on a word boundary; name then points into it. Null: a plain byte array called name.
    const char* storage;
    pngio::RgbImage rgb;
    uint8_t format;
    int colours;  // palette size for palette formats
};

imagegen::Encoded EncodePicture(const Picture& picture) {
    if (picture.format == imagegen::kDirect16) {
        return imagegen::Encode(picture.rgb, picture.format);
    }
    const imagegen::Indexed indexed = imagegen::Quantize(picture.rgb, picture.colours);
    if (static_cast<int>(indexed.palette.size()) != picture.colours) {
        throw std::runtime_error(std::string(picture.name) +
                                 ": the artwork has fewer colours than its palette");
    }
    return imagegen::EncodeIndexed(indexed, picture.format);
}

// The picture as the firmware shows it: decoded from its record back to RGB.
pngio::RgbImage Shown(const Picture& picture, const imagegen::Encoded& encoded) {
    pngio::RgbImage shown = picture.rgb;
    if (picture.format == imagegen::kDirect16) {
        for (auto& pixel : shown.pixels) {
            const uint16_t v = imagegen::ToRgb565(pixel);
            pixel = ((v >> 11) & 0x1Fu) << 19 | ((v >> 5) & 0x3Fu) << 10 | (v & 0x1Fu) << 3;
        }
        return shown;
    }
    const imagegen::Indexed indexed = imagegen::Quantize(picture.rgb, picture.colours);
    for (size_t i = 0; i < shown.pixels.size(); ++i) {
        shown.pixels[i] = indexed.palette[indexed.indexes[i]];
    }
    (void)encoded;
    return shown;
}

pngio::RgbImage Enlarged(const pngio::RgbImage& image, int scale) {
    pngio::RgbImage large;
    large.width = image.width * scale;
    large.height = image.height * scale;
    large.pixels.resize(static_cast<size_t>(large.width) * large.height);
    for (int y = 0; y < large.height; ++y) {
        for (int x = 0; x < large.width; ++x) {
            large.at(x, y) = image.at(x / scale, y / scale);
        }
    }
    return large;
}

std::string Source(const std::vector<Picture>& pictures,
                   const std::vector<imagegen::Encoded>& records, const std::string& command) {
    std::ostringstream out;
    out << "// Generated by tools/artgen: the project's artwork. Do not edit: regenerate with\n"
        << gensource::CommandComment(command) << "#include \"project/pictures.hpp\"\n";
    for (size_t p = 0; p < pictures.size(); ++p) {
        const std::vector<uint8_t>& record = records[p].record;
        out << "\n// " << pictures[p].description << "\n";
        if (pictures[p].storage != nullptr) {
            out << "static_assert(sizeof(LampPicture::record) == " << record.size() << ");\n"
                << "const LampPicture " << pictures[p].storage << " = {{0, 0, 0}, {"
                << imagegen::ByteRows(record) << "\n}};\n";
        } else {
            out << "const uint8_t " << pictures[p].name << "[" << record.size() << "] = {"
                << imagegen::ByteRows(record) << "\n};\n";
        }
    }
    return out.str();
}

constexpr const char* kUsage =
    "usage: artgen --regular FONT.ttf --bold FONT.ttf --out SOURCE.cpp [--png-dir DIR]\n"
    "              [--png-scale N]\n"
    "  Draws the project's artwork (logos and lamps), encodes it and writes the C++ source.\n"
    "  --png-dir also saves each picture as the panel shows it into DIR (created if missing),\n"
    "  enlarged N times (1-16, default 1).\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string command = gensource::CommandLine(argc, argv);
    Fonts fonts;
    std::string out;
    std::string pngDir;
    int64_t pngScale = 1;
    cli::Parser parser("artgen", kUsage);
    parser.text("--regular", fonts.regular)
        .text("--bold", fonts.bold)
        .text("--out", out)
        .text("--png-dir", pngDir)
        .whole("--png-scale", pngScale, 1, 16);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return *stop;
    }
    for (const char* needed : {"--regular", "--bold", "--out"}) {
        if (!parser.given(needed)) {
            return parser.fail(std::string("missing ") + needed);
        }
    }
    if (parser.given("--png-scale") && !parser.given("--png-dir")) {
        return parser.fail("--png-scale goes with --png-dir");
    }
    if (!pngDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(pngDir, error);
        if (error) {
            std::fprintf(stderr, "artgen: cannot create %s: %s\n", pngDir.c_str(),
                         error.message().c_str());
            return 1;
        }
    }
    try {
        const std::vector<Picture> pictures = {
            {"g_pucPictureLogo", "The welcome screen's logo: 300 x 65, 8 bpp compressed.", nullptr,
             Logo(fonts), imagegen::kCompressed | imagegen::kPalette8, 46},
            {"g_pucPictureSmallLogo", "The screen headers' small logo: 100 x 21, 8 bpp compressed.",
             nullptr, SmallLogo(fonts), imagegen::kCompressed | imagegen::kPalette8, 48},
            {"g_pucPictureLampOff", "An LED that is off: a grey lamp, 80 x 80, 16 bpp.",
             "g_sPictureLampOff", Lamp(0xC9CDD1, 0x6A7076, 0.6), imagegen::kDirect16, 0},
            {"g_pucPictureLampOn", "An LED that is on: a green lamp, 80 x 80, 16 bpp.",
             "g_sPictureLampOn", Lamp(0xB8FFB0, 0x0E8A1E, 1.0), imagegen::kDirect16, 0},
        };
        std::vector<imagegen::Encoded> records;
        for (const Picture& picture : pictures) {
            records.push_back(EncodePicture(picture));
            const imagegen::Encoded& encoded = records.back();
            std::printf(
                "%s: %dx%d, format 0x%02X, %zu colours, pixel data %zu bytes plain, %zu stored "
                "(%.1f %%), record %zu bytes\n",
                picture.name, picture.rgb.width, picture.rgb.height, picture.format, encoded.colors,
                encoded.plainBytes, encoded.dataBytes,
                100.0 * static_cast<double>(encoded.dataBytes) /
                    static_cast<double>(encoded.plainBytes),
                encoded.record.size());
            if (!pngDir.empty()) {
                std::string error;
                const std::string file = pngDir + "/" + picture.name + ".png";
                if (!pngio::Write(file, Enlarged(Shown(picture, encoded), static_cast<int>(pngScale)), error)) {
                    throw std::runtime_error(error);
                }
            }
        }
        std::ofstream file(out, std::ios::binary);
        file << Source(pictures, records, command);
        if (!file) {
            throw std::runtime_error("cannot write " + out);
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "artgen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
