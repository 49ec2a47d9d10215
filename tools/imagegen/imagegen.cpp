// imagegen: encodes a PNG picture as one of the panel's picture records and writes it as a
// generated C++ source; reports the size of the pixel data against its plain form.
//
//   imagegen --format 0x88 --name pucImage_Logo --in logo.png --out logo.cpp
//
// Formats: 0x01, 0x04, 0x08 (plain 1, 4, 8 bits per pixel), 0x81, 0x84, 0x88 (the same,
// compressed) and 0xC0 (16 bits per pixel, RGB 5-6-5). 4- and 8-bit pictures are quantised to
// 16 or 256 colours; 1-bit pictures are 1 where at least half bright.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include "cli.hpp"
#include "command_line.hpp"
#include "image_codec.hpp"

namespace {

constexpr const char* kUsage =
    "usage: imagegen --format F --name NAME --in PNG --out SOURCE\n"
    "  Encodes the picture PNG as a picture record named NAME (a C++ identifier) and writes it\n"
    "  as a generated C++ source. F is 0x01, 0x04, 0x08 (plain 1, 4, 8 bits per pixel), 0x81,\n"
    "  0x84, 0x88 (the same, compressed) or 0xC0 (16 bits per pixel, RGB 5-6-5).\n";

bool IsIdentifier(const std::string& name) {
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    };
    if (name.empty() || !letter(name[0])) {
        return false;
    }
    for (const char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = gensource::CommandLine(argc, argv);
    std::string in, out, name;
    int64_t format = -1;
    cli::Parser parser("imagegen", kUsage);
    parser.whole("--format", format, 0, 0xFF).text("--name", name).text("--in", in).text("--out", out);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return *stop;
    }
    for (const char* needed : {"--format", "--name", "--in", "--out"}) {
        if (!parser.given(needed)) {
            return parser.fail(std::string("missing ") + needed);
        }
    }
    if (!imagegen::IsFormat(static_cast<uint8_t>(format))) {
        return parser.fail("--format " + std::to_string(format) + " is not a picture format");
    }
    if (!IsIdentifier(name)) {
        return parser.fail("--name '" + name + "' is not a C++ identifier");
    }
    pngio::RgbImage picture;
    std::string error;
    if (!pngio::Read(in, picture, error)) {
        std::fprintf(stderr, "imagegen: %s\n", error.c_str());
        return 1;
    }
    try {
        const imagegen::Encoded encoded = imagegen::Encode(picture, static_cast<uint8_t>(format));
        std::ofstream file(out, std::ios::binary);
        const std::string origin = in.substr(in.find_last_of('/') + 1);
        file << imagegen::RecordSource(name, origin, encoded.record,
                                       gensource::CommandComment(command));
        if (!file) {
            std::fprintf(stderr, "imagegen: cannot write %s\n", out.c_str());
            return 1;
        }
        std::printf(
            "%s: %dx%d, format 0x%02llX, %zu colours, pixel data %zu bytes plain, %zu stored "
            "(%.1f %%), record %zu bytes\n",
            name.c_str(), picture.width, picture.height, static_cast<unsigned long long>(format), encoded.colors, encoded.plainBytes,
            encoded.dataBytes,
            100.0 * static_cast<double>(encoded.dataBytes) /
                static_cast<double>(encoded.plainBytes),
            encoded.record.size());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "imagegen: %s\n", failure.what());
        return 1;
    }
    return 0;
}
