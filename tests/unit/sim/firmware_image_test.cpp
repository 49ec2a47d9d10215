// Function names as the image's reports and fault messages give them: demangled, the way the
// source spells them, from anywhere inside the function. And where an ELF's bytes may go: wholly
// inside flash or SRAM, at the address its program headers give, or the image is refused.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "arm_core.hpp"
#include "board.hpp"
#include "chip.hpp"
#include "firmware_image.hpp"

namespace {

// One loadable segment: its load and run addresses, and the contents, preceded by `skip` bytes
// that no section covers (as when a segment starts with the file's headers).
struct Piece {
    uint32_t loadAddress;
    uint32_t runAddress;
    uint32_t skip;
    std::vector<uint8_t> bytes;
};

template <typename T>
void Put(std::vector<uint8_t>& file, size_t at, const T& value) {
    std::memcpy(file.data() + at, &value, sizeof(T));
}

// A 32-bit ARM ELF file with a program header and an allocated section for each piece.
std::vector<uint8_t> ElfOf(const std::vector<Piece>& pieces) {
    const size_t phoff = sizeof(Elf32_Ehdr);
    const size_t shoff = phoff + pieces.size() * sizeof(Elf32_Phdr);
    size_t data = shoff + (pieces.size() + 1) * sizeof(Elf32_Shdr);
    size_t total = data;
    for (const Piece& piece : pieces) {
        total += piece.skip + piece.bytes.size();
    }
    std::vector<uint8_t> file(total, 0);
    Elf32_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS32;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_type = ET_EXEC;
    header.e_machine = EM_ARM;
    header.e_version = EV_CURRENT;
    header.e_phoff = phoff;
    header.e_shoff = shoff;
    header.e_ehsize = sizeof(Elf32_Ehdr);
    header.e_phentsize = sizeof(Elf32_Phdr);
    header.e_phnum = static_cast<Elf32_Half>(pieces.size());
    header.e_shentsize = sizeof(Elf32_Shdr);
    header.e_shnum = static_cast<Elf32_Half>(pieces.size() + 1);
    Put(file, 0, header);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        const auto filesz = static_cast<Elf32_Word>(piece.skip + piece.bytes.size());
        Elf32_Phdr program{PT_LOAD,
                           static_cast<Elf32_Off>(data),
                           piece.runAddress,
                           piece.loadAddress,
                           filesz,
                           filesz,
                           PF_R,
                           4};
        Put(file, phoff + i * sizeof(Elf32_Phdr), program);
        Elf32_Shdr section{};
        section.sh_type = SHT_PROGBITS;
        section.sh_flags = SHF_ALLOC;
        section.sh_addr = piece.runAddress + piece.skip;
        section.sh_offset = static_cast<Elf32_Off>(data + piece.skip);
        section.sh_size = static_cast<Elf32_Word>(piece.bytes.size());
        Put(file, shoff + (i + 1) * sizeof(Elf32_Shdr), section);
        std::memcpy(file.data() + data + piece.skip, piece.bytes.data(), piece.bytes.size());
        data += filesz;
    }
    return file;
}

// A vector table that passes the image checks: a stack pointer in SRAM, Thumb code in flash.
std::vector<uint8_t> Vectors() {
    const uint32_t words[2] = {chip::kSram.base + 0x1000, chip::kImageBase + 0x101};
    std::vector<uint8_t> bytes(sizeof(words));
    std::memcpy(bytes.data(), words, sizeof(words));
    return bytes;
}

std::vector<uint8_t> Pattern(size_t length) {
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<uint8_t>(0xA5 ^ i);
    }
    return bytes;
}

TEST(FirmwareImage, PlacesSegmentsOnlyWhollyInsideFlashOrSram) {
    const uint32_t flashEnd = static_cast<uint32_t>(chip::kFlash.end());
    const uint32_t sramEnd = static_cast<uint32_t>(chip::kSram.end());
    struct Case {
        const char* what;
        Piece piece;
        const char* refusal;  // null: accepted, the bytes placed at load address + skip
    };
    const Case cases[] = {
        {"flash up to its last byte", {flashEnd - 16, flashEnd - 16, 0, Pattern(16)}, nullptr},
        {"one byte past flash",
         {flashEnd - 16, flashEnd - 16, 0, Pattern(17)},
         "outside the board's flash and SRAM"},
        {"SRAM up to its last byte", {sramEnd - 16, sramEnd - 16, 0, Pattern(16)}, nullptr},
        {"one byte past SRAM",
         {sramEnd - 16, sramEnd - 16, 0, Pattern(17)},
         "outside the board's flash and SRAM"},
        {"from below SRAM into it",
         {chip::kSram.base - 4, chip::kSram.base - 4, 0, Pattern(8)},
         "outside the board's flash and SRAM"},
        {"in the peripherals",
         {chip::kPeripherals.base, chip::kPeripherals.base, 0, Pattern(4)},
         "outside the board's flash and SRAM"},
        {"headers before the contents",
         {chip::kSram.base, chip::kSram.base, 8, Pattern(8)},
         nullptr},
        // Loaded at the top of the address space, the contents would wrap round to address 0
        // and bring a boot loader's vector table with them.
        {"load address wrapping round",
         {0xFFFFFFF0, chip::kSram.base, 0x10, Vectors()},
         "beyond the 32-bit address space"},
    };
    for (const Case& c : cases) {
        const Piece vectors{chip::kImageBase, chip::kImageBase, 0, Vectors()};
        std::string error;
        const auto image =
            sim::arm::FirmwareImage::Parse(ElfOf({vectors, c.piece}), c.what, &error);
        if (c.refusal != nullptr) {
            EXPECT_FALSE(image) << c.what;
            EXPECT_NE(error.find(c.refusal), std::string::npos) << c.what << ": " << error;
            continue;
        }
        ASSERT_TRUE(image) << c.what << ": " << error;
        const uint32_t placed = c.piece.loadAddress + c.piece.skip;
        sim::Board board;
        const auto core = sim::arm::ArmCore::Load(board, *image, &error);
        ASSERT_TRUE(core) << c.what << ": " << error;
        std::vector<uint8_t> loaded(c.piece.bytes.size());
        ASSERT_TRUE(core->read(placed, loaded.data(), static_cast<uint32_t>(loaded.size())))
            << c.what;
        EXPECT_EQ(loaded, c.piece.bytes) << c.what;
    }
}

TEST(FirmwareImage, NamesTheFunctionAtAnAddressAsTheSourceDoes) {
    std::string error;
    const auto image = sim::arm::FirmwareImage::Read(PANEL_FIRMWARE_IMAGE, &error);
    ASSERT_TRUE(image) << "the target image is missing (" << error
                       << "): build the target-release preset first";
    struct Case {
        const char* symbol;
        const char* reported;
    };
    const Case cases[] = {
        {"_Z12GrStringDrawPK11DrawContextPKclllm",
         "GrStringDraw(DrawContext const*, char const*, long, long, long, unsigned long)"},
        {"_Z13hmi_GotoFramem", "hmi_GotoFrame(unsigned long)"},
        {"_ZN12_GLOBAL__N_112Decompressor10DrawWindowEv",
         "(anonymous namespace)::Decompressor::DrawWindow()"},
        {"image_decode", "image_decode"},  // hand-written: a C name
    };
    for (const Case& c : cases) {
        const auto symbol = image->symbol(c.symbol);
        ASSERT_TRUE(symbol) << c.symbol;
        ASSERT_GT(symbol->size, 2u) << c.symbol;
        EXPECT_EQ(image->functionAt(symbol->address), c.reported);
        EXPECT_EQ(image->functionAt(symbol->address + symbol->size - 2), c.reported);
    }
}

}  // namespace
