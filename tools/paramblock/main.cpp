// paramblock: writes and reads flash parameter areas (the touch calibration store).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "paramblock.hpp"

namespace {

using paramblock::Error;

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage:\n"
                 "  paramblock new AREA\n"
                 "      create AREA: an erased parameter area (%u bytes of 0xFF)\n"
                 "  paramblock add FILE [--set S M0 M1 M2 M3 M4 M5 M6]... [--sequence N] "
                 "[--slot K]\n"
                 "      save a new block with the given calibration sets (0-3). By default it\n"
                 "      takes the next sequence number and the first free slot after the\n"
                 "      current block; --sequence and --slot place it by hand (the slot must\n"
                 "      be erased)\n"
                 "  paramblock read FILE\n"
                 "      print the slots and the block and calibrations the firmware selects\n"
                 "FILE is a parameter area (%u bytes) or a whole flash image (%u bytes), whose\n"
                 "area at 0x%05X is used.\n",
                 paramblock::kAreaSize, paramblock::kAreaSize, paramblock::kFlashSize,
                 paramblock::kAreaAddress);
}

long long Number(const std::string& text, long long low, long long high, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || end == nullptr || *end != '\0' || errno == ERANGE || value < low ||
        value > high) {
        throw Error(what + " must be a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Error("cannot open " + path);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw Error("cannot write " + path);
    }
}

// The area inside a file's bytes: the whole file, or the top of a flash image.
size_t AreaOffset(const std::vector<uint8_t>& file, const std::string& path) {
    if (file.size() == paramblock::kAreaSize) {
        return 0;
    }
    if (file.size() == paramblock::kFlashSize) {
        return paramblock::kAreaAddress;
    }
    throw Error(path + " is " + std::to_string(file.size()) + " bytes: neither a parameter area (" +
                std::to_string(paramblock::kAreaSize) + ") nor a flash image (" +
                std::to_string(paramblock::kFlashSize) + ")");
}

int Add(int argc, char** argv) {
    if (argc < 1) {
        throw Error("add needs a FILE");
    }
    const std::string path = argv[0];
    std::array<std::optional<paramblock::Calibration>, 4> sets;
    std::optional<uint8_t> sequence;
    std::optional<uint32_t> slot;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--set") {
            if (i + 8 >= argc) {
                throw Error("--set needs a set number and seven coefficients");
            }
            const auto set = static_cast<uint32_t>(Number(argv[++i], 0, 3, "the calibration set"));
            if (sets[set]) {
                throw Error("calibration set " + std::to_string(set) + " is given twice");
            }
            paramblock::Calibration c{};
            for (size_t k = 0; k < 7; ++k) {
                c[k] = static_cast<int32_t>(
                    Number(argv[++i], INT32_MIN, INT32_MAX, "coefficient M" + std::to_string(k)));
            }
            sets[set] = c;
        } else if (option == "--sequence" && i + 1 < argc) {
            sequence = static_cast<uint8_t>(Number(argv[++i], 0, 255, "the sequence number"));
        } else if (option == "--slot" && i + 1 < argc) {
            slot = static_cast<uint32_t>(Number(argv[++i], 0, 5, "the slot"));
        } else {
            throw Error("unknown or incomplete option '" + option + "'");
        }
    }
    std::vector<uint8_t> file = ReadFile(path);
    const size_t offset = AreaOffset(file, path);
    paramblock::Area area(
        file.begin() + static_cast<std::ptrdiff_t>(offset),
        file.begin() + static_cast<std::ptrdiff_t>(offset + paramblock::kAreaSize));
    uint32_t used = 0;
    if (slot) {
        const std::optional<uint32_t> current = paramblock::CurrentSlot(area);
        const uint8_t number =
            sequence ? *sequence
                     : (current ? static_cast<uint8_t>(area[*current * paramblock::kBlockSize] + 1)
                                : uint8_t{0});
        paramblock::PlaceBlock(area, *slot, paramblock::MakeBlock(number, sets));
        used = *slot;
    } else {
        used = paramblock::AppendBlock(area, sets, sequence);
    }
    std::copy(area.begin(), area.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
    WriteFile(path, file);
    std::printf("paramblock: block written to slot %u of %s\n", used, path.c_str());
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        Usage(stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        Usage(stdout);
        return 0;
    }
    if (command == "new" && argc == 3) {
        WriteFile(argv[2], paramblock::ErasedArea());
        return 0;
    }
    if (command == "add") {
        return Add(argc - 2, argv + 2);
    }
    if (command == "read" && argc == 3) {
        const std::vector<uint8_t> file = ReadFile(argv[2]);
        const size_t offset = AreaOffset(file, argv[2]);
        const paramblock::Area area(
            file.begin() + static_cast<std::ptrdiff_t>(offset),
            file.begin() + static_cast<std::ptrdiff_t>(offset + paramblock::kAreaSize));
        std::fputs(paramblock::Describe(area).c_str(), stdout);
        return 0;
    }
    Usage(stderr);
    return 2;
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
