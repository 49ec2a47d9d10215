// paramblock: writes and reads flash parameter areas (the touch calibration store).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "file_area.hpp"
#include "paramblock.hpp"

namespace {

using paramblock::Error;
using paramblock_tool::AreaOffset;

constexpr const char* kUsage =
    "usage:\n"
    "  paramblock new AREA [--force]\n"
    "      create AREA: an erased parameter area (3072 bytes of 0xFF). An existing file is\n"
    "      kept unless --force is given; then its parameter area is erased in place (a whole\n"
    "      flash image keeps its size and the rest of its contents)\n"
    "  paramblock add FILE --set S M0 M1 M2 M3 M4 M5 M6 [--set ...] [--sequence N] [--slot K]\n"
    "      save a new block with the given calibration sets (S is 0-3; at least one set). By\n"
    "      default it takes the next sequence number and the first free slot after the\n"
    "      current block; --sequence and --slot place it by hand (the slot must be erased).\n"
    "      A block that the firmware would not select is refused\n"
    "  paramblock read FILE\n"
    "      print the slots and the block and calibrations the firmware selects\n"
    "FILE is a parameter area (3072 bytes) or a whole flash image (262144 bytes), whose area\n"
    "at 0x3F400 is used. Numbers are decimal, or hexadecimal with 0x.\n";

// Reads a parameter area or a flash image; anything larger than a flash image is refused
// without being read whole.
std::vector<uint8_t> ReadFile(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw Error(path + " is a folder, not a parameter area or flash image");
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw Error("cannot open " + path + ": " + std::strerror(errno));
    }
    std::vector<uint8_t> bytes(paramblock::kFlashSize + 1);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        throw Error("cannot read " + path);
    }
    if (got > paramblock::kFlashSize) {
        throw Error(path + " is larger than a flash image (" +
                    std::to_string(paramblock::kFlashSize) + " bytes)");
    }
    bytes.resize(got);
    return bytes;
}

// Writes through a temporary file and a rename, so that a failure leaves the old file whole.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".paramblock-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            throw Error("cannot write " + path);
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw Error("cannot write " + path + ": " + std::strerror(errno));
    }
}

int New(int argc, char** argv) {
    std::string path;
    bool force = false;
    cli::Parser parser("paramblock", kUsage);
    parser.positional("AREA", path).flag("--force", force);
    if (const std::optional<int> stop = parser.parse(argc, argv, 2)) {
        return *stop;
    }
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        WriteFile(path, paramblock::ErasedArea());
        std::printf("paramblock: erased parameter area written to %s\n", path.c_str());
        return 0;
    }
    if (!force) {
        throw Error(path + " exists; paramblock new --force erases its parameter area in place");
    }
    std::vector<uint8_t> file = ReadFile(path);
    const size_t offset = AreaOffset(file, path);
    const paramblock::Area erased = paramblock::ErasedArea();
    paramblock_tool::PutArea(file, offset, erased);
    WriteFile(path, file);
    std::printf("paramblock: parameter area of %s erased (%zu bytes kept)\n", path.c_str(),
                file.size());
    return 0;
}

int Add(int argc, char** argv) {
    std::string path;
    std::array<std::optional<paramblock::Calibration>, 4> sets;
    std::optional<uint8_t> sequence;
    std::optional<uint32_t> slot;
    cli::Parser parser("paramblock", kUsage);
    parser.positional("FILE", path)
        .option(
            "--set",
            [&sets](const std::vector<std::string>& v) {
                const auto set = static_cast<uint32_t>(cli::Whole(v[0], 0, 3, "--set S"));
                if (sets[set]) {
                    throw cli::UsageError{"calibration set " + std::to_string(set) +
                                          " is given twice"};
                }
                paramblock::Calibration c{};
                for (size_t k = 0; k < 7; ++k) {
                    c[k] = static_cast<int32_t>(cli::Whole(v[k + 1], INT32_MIN, INT32_MAX,
                                                           "coefficient M" + std::to_string(k)));
                }
                sets[set] = c;
            },
            8, true)
        .option("--sequence",
                [&sequence](const std::vector<std::string>& v) {
                    sequence = static_cast<uint8_t>(cli::Whole(v[0], 0, 255, "--sequence"));
                })
        .option("--slot", [&slot](const std::vector<std::string>& v) {
            slot = static_cast<uint32_t>(cli::Whole(v[0], 0, 5, "--slot"));
        });
    if (const std::optional<int> stop = parser.parse(argc, argv, 2)) {
        return *stop;
    }
    if (!parser.given("--set")) {
        return parser.fail(
            "add needs at least one --set: a block without a calibration leaves every set "
            "reading 'not stored'");
    }
    std::vector<uint8_t> file = ReadFile(path);
    const size_t offset = AreaOffset(file, path);
    paramblock::Area area = paramblock_tool::AreaOf(file, offset);
    const uint32_t used = paramblock_tool::Add(area, sets, sequence, slot);
    paramblock_tool::PutArea(file, offset, area);
    WriteFile(path, file);
    std::printf("paramblock: block written to slot %u of %s\n", used, path.c_str());
    return 0;
}

int Read(int argc, char** argv) {
    std::string path;
    cli::Parser parser("paramblock", kUsage);
    parser.positional("FILE", path);
    if (const std::optional<int> stop = parser.parse(argc, argv, 2)) {
        return *stop;
    }
    std::fputs(paramblock_tool::Report(ReadFile(path), path).c_str(), stdout);
    return 0;
}

int Run(int argc, char** argv) {
    const std::string command = argc >= 2 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "new") {
        return New(argc, argv);
    }
    if (command == "add") {
        return Add(argc, argv);
    }
    if (command == "read") {
        return Read(argc, argv);
    }
    cli::Parser parser("paramblock", kUsage);
    return parser.fail(command.empty() ? "missing the command: new, add or read"
                                       : "unknown command '" + command + "' (new, add or read)");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const Error& e) {
        std::fprintf(stderr, "paramblock: %s\n", e.what());
        return 1;
    }
}
