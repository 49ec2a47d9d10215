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
#include <stdexcept>
#include <string>

#include "command_line.hpp"
#include "image_codec.hpp"

int main(int argc, char** argv) {
    const std::string command = gensource::CommandLine(argc, argv);
    std::string in, out, name;
    long format = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--format") {
            format = std::strtol(argv[i + 1], nullptr, 0);
        } else if (option == "--name") {
            name = argv[i + 1];
        } else if (option == "--in") {
            in = argv[i + 1];
        } else if (option == "--out") {
            out = argv[i + 1];
        }
    }
    if (in.empty() || out.empty() || name.empty() || format < 0 || format > 0xFF ||
        !imagegen::IsFormat(static_cast<uint8_t>(format))) {
        std::fprintf(stderr,
                     "usage: imagegen --format 0x01|0x04|0x08|0x81|0x84|0x88|0xC0 --name NAME "
                     "--in PNG --out SOURCE\n");
        return 2;
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
            "%s: %dx%d, format 0x%02lX, %zu colours, pixel data %zu bytes plain, %zu stored "
            "(%.1f %%), record %zu bytes\n",
            name.c_str(), picture.width, picture.height, format, encoded.colors, encoded.plainBytes,
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
