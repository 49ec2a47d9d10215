// The --image loader on any bytes: an ELF file or a flat binary. It either refuses them with one
// line that names the file, or loads an image whose bytes all lie in the board's memories and
// whose vector table and symbols can be asked about.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "firmware_image.hpp"
#include "fuzz_support.hpp"

namespace {

using sim::arm::FirmwareImage;

constexpr const char* kName = "fuzz.elf";

// The board's memory as the oracle knows it, written here rather than taken from the chip's
// facts, so that a wrong fact is caught: 256 KB of flash at 0, 64 KB of SRAM at 0x20000000.
constexpr uint64_t kFlashEnd = 256 * 1024;
constexpr uint64_t kSramBase = 0x20000000;
constexpr uint64_t kSramEnd = kSramBase + 64 * 1024;

bool InBoardMemory(const sim::arm::Segment& segment) {
    const uint64_t end = uint64_t{segment.address} + segment.bytes.size();
    return end <= kFlashEnd || (segment.address >= kSramBase && end <= kSramEnd);
}

void CheckLoaded(const FirmwareImage& image, const std::vector<uint8_t>& file) {
    constexpr uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
    const bool elf = file.size() >= 4 && std::memcmp(file.data(), kElfMagic, 4) == 0;
    FUZZ_CHECK(image.isElf() == elf);
    if (!elf) {
        // A flat binary is the file itself at address 0.
        FUZZ_CHECK(image.segments().size() == 1);
        FUZZ_CHECK(image.segments()[0].address == 0);
        FUZZ_CHECK(image.segments()[0].bytes == file);
    }
    // A segment is a part of the file, one for each of at most 256 program headers.
    FUZZ_CHECK(image.segments().size() <= 256);
    for (const sim::arm::Segment& segment : image.segments()) {
        FUZZ_CHECK(!segment.bytes.empty());
        FUZZ_CHECK(segment.bytes.size() <= file.size());
        FUZZ_CHECK(InBoardMemory(segment));
    }
    for (const auto& [address, function] : image.functions()) {
        FUZZ_CHECK(image.startsFunction(address));
        FUZZ_CHECK(image.functionAt(address) == function.first);
        // Found by its own name, or a C++ one by its name without the arguments.
        const std::string plain = function.first.substr(0, function.first.find('('));
        FUZZ_CHECK(image.symbol(function.first) || image.symbol(plain));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> file(data, data + size);
    std::string error;
    const auto image = FirmwareImage::Parse(file, kName, &error);
    if (!image) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(error.rfind(kName, 0) == 0);
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        return 0;
    }
    CheckLoaded(*image, file);
    return 0;
}
