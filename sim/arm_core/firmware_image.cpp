#include "firmware_image.hpp"

#include <cxxabi.h>
#include <elf.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <iterator>

namespace sim::arm {

namespace {

template <typename T>
bool ReadAt(const std::vector<uint8_t>& file, uint64_t offset, T& out) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) {
        return false;
    }
    std::memcpy(&out, file.data() + offset, sizeof(T));
    return true;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

std::string MachineName(uint16_t machine) {
    switch (machine) {
        case EM_386:
            return "x86";
        case EM_X86_64:
            return "x86-64";
        case EM_AARCH64:
            return "64-bit ARM";
        case EM_RISCV:
            return "RISC-V";
        case EM_MIPS:
            return "MIPS";
        case EM_PPC:
        case EM_PPC64:
            return "PowerPC";
        case EM_AVR:
            return "AVR";
        default:
            return "machine " + std::to_string(machine);
    }
}

// More program headers than an image of this board's memories could need: a larger count is
// refused before the headers are read, so that a damaged file costs no time.
constexpr uint32_t kMostProgramHeaders = 256;
// A longer symbol name is not a name of this firmware (it is skipped, and costs no time).
constexpr size_t kLongestSymbolName = 4096;

// Whether a table of `count` entries of `entrySize` bytes (at least `least`) at `offset` lies
// inside the file.
bool TableFits(const std::vector<uint8_t>& file, uint64_t offset, uint32_t count,
               uint32_t entrySize, size_t least) {
    if (count == 0) {
        return true;
    }
    return entrySize >= least && offset <= file.size() &&
           (file.size() - offset) / entrySize >= count;
}

// The allocated sections with contents, read once for all program headers.
std::vector<Elf32_Shdr> LoadedSections(const std::vector<uint8_t>& file, const Elf32_Ehdr& header) {
    std::vector<Elf32_Shdr> sections;
    for (uint32_t s = 0; s < header.e_shnum; ++s) {
        Elf32_Shdr section{};
        if (ReadAt(file, header.e_shoff + uint64_t{s} * header.e_shentsize, section) &&
            (section.sh_flags & SHF_ALLOC) != 0 && section.sh_type != SHT_NOBITS &&
            section.sh_size != 0) {
            sections.push_back(section);
        }
    }
    return sections;
}

}  // namespace

std::optional<FirmwareImage> FirmwareImage::Read(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return std::nullopt;
    }
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read " + path;
        return std::nullopt;
    }
    return Parse(file, path, error);
}

std::optional<FirmwareImage> FirmwareImage::Parse(const std::vector<uint8_t>& file,
                                                  const std::string& name, std::string* error) {
    const std::string& path = name;
    FirmwareImage image;
    if (file.size() < 4 || std::memcmp(file.data(), ELFMAG, SELFMAG) != 0) {
        if (file.empty() || !chip::kFlash.contains(chip::kFlash.base, file.size())) {
            *error = path + " is neither an ELF file nor a flat image of at most " +
                     std::to_string(chip::kFlash.size / 1024) + " KB";
            return std::nullopt;
        }
        image.segments_.push_back(Segment{0, file});
        if (!image.checkVectors(path, error)) {
            return std::nullopt;
        }
        return image;
    }
    image.elf_ = true;
    Elf32_Ehdr header{};
    if (!ReadAt(file, 0, header)) {
        *error = path + ": truncated ELF header";
        return std::nullopt;
    }
    if (header.e_ident[EI_CLASS] != ELFCLASS32 || header.e_ident[EI_DATA] != ELFDATA2LSB) {
        const bool wide = header.e_ident[EI_CLASS] == ELFCLASS64;
        // e_machine is at the same offset in both classes.
        *error = path + " is " + (wide ? "a 64-bit" : "an") + " ELF file for " +
                 MachineName(header.e_machine) +
                 ", not a 32-bit little-endian ARM image for this board";
        return std::nullopt;
    }
    if (header.e_machine != EM_ARM) {
        *error = path + " is an ELF file for " + MachineName(header.e_machine) +
                 ", not an ARM image for this board";
        return std::nullopt;
    }
    if (header.e_phnum > kMostProgramHeaders) {
        *error = path + " has " + std::to_string(header.e_phnum) +
                 " program headers, more than an image of this board has";
        return std::nullopt;
    }
    if (!TableFits(file, header.e_phoff, header.e_phnum, header.e_phentsize, sizeof(Elf32_Phdr))) {
        *error = path + ": the program header table lies outside the file";
        return std::nullopt;
    }
    if (!TableFits(file, header.e_shoff, header.e_shnum, header.e_shentsize, sizeof(Elf32_Shdr))) {
        *error = path + ": the section header table lies outside the file";
        return std::nullopt;
    }
    const std::vector<Elf32_Shdr> loaded = LoadedSections(file, header);
    for (uint32_t i = 0; i < header.e_phnum; ++i) {
        Elf32_Phdr program{};
        if (!ReadAt(file, header.e_phoff + uint64_t{i} * header.e_phentsize, program)) {
            *error = path + ": truncated program header";
            return std::nullopt;
        }
        if (program.p_type != PT_LOAD || program.p_filesz == 0) {
            continue;
        }
        if (program.p_offset > file.size() || file.size() - program.p_offset < program.p_filesz) {
            *error = path + ": a segment lies outside the file";
            return std::nullopt;
        }
        // A segment may start with the file's own headers; its contents start at the lowest
        // allocated section inside it.
        uint32_t skip = program.p_filesz;
        for (const Elf32_Shdr& section : loaded) {
            if (section.sh_addr >= program.p_vaddr &&
                section.sh_addr - program.p_vaddr < program.p_filesz) {
                skip = std::min(skip, section.sh_addr - program.p_vaddr);
            }
        }
        if (skip == program.p_filesz) {
            continue;
        }
        if ((program.p_flags & PF_X) != 0 && chip::kSram.contains(program.p_vaddr)) {
            image.executesFromSram_ = true;
        }
        // Placed past the top of the address space, the bytes must not wrap round to flash.
        const uint64_t address = uint64_t{program.p_paddr} + skip;
        if (address > UINT32_MAX) {
            *error = path + " has a segment beyond the 32-bit address space";
            return std::nullopt;
        }
        const auto* first = file.data() + program.p_offset;
        image.segments_.push_back(
            Segment{static_cast<uint32_t>(address),
                    std::vector<uint8_t>(first + skip, first + program.p_filesz)});
    }
    for (const Segment& segment : image.segments_) {
        if (!InBoardMemory(segment.address, segment.bytes.size())) {
            *error = path + " has bytes at " + Hex(segment.address) +
                     ", outside the board's flash and SRAM";
            return std::nullopt;
        }
    }
    if (!image.checkVectors(path, error)) {
        return std::nullopt;
    }
    // The symbol table, for the status line, call probes and fault messages.
    for (uint32_t i = 0; i < header.e_shnum; ++i) {
        Elf32_Shdr section{};
        if (!ReadAt(file, header.e_shoff + uint64_t{i} * header.e_shentsize, section) ||
            section.sh_type != SHT_SYMTAB) {
            continue;
        }
        if (section.sh_offset > file.size() || file.size() - section.sh_offset < section.sh_size) {
            *error = path + ": the symbol table lies outside the file";
            return std::nullopt;
        }
        Elf32_Shdr strings{};
        if (!ReadAt(file, header.e_shoff + uint64_t{section.sh_link} * header.e_shentsize,
                    strings)) {
            break;
        }
        for (uint64_t at = section.sh_offset; at + sizeof(Elf32_Sym) <= section.sh_offset +
                                                                            section.sh_size;
             at += sizeof(Elf32_Sym)) {
            Elf32_Sym symbol{};
            if (!ReadAt(file, at, symbol) || symbol.st_name >= strings.sh_size) {
                continue;
            }
            const uint64_t nameAt = strings.sh_offset + symbol.st_name;
            if (nameAt >= file.size()) {
                continue;
            }
            const char* text = reinterpret_cast<const char*>(file.data() + nameAt);
            const std::string name(
                text, strnlen(text, std::min(file.size() - nameAt, kLongestSymbolName + 1)));
            const uint32_t type = ELF32_ST_TYPE(symbol.st_info);
            if (name.empty() || name.size() > kLongestSymbolName ||
                (type != STT_OBJECT && type != STT_FUNC && type != STT_NOTYPE)) {
                continue;
            }
            const uint32_t address = type == STT_FUNC ? symbol.st_value & ~1u : symbol.st_value;
            image.symbols_.emplace(name, Symbol{address, symbol.st_size});
            // C++ names are also found by their plain name ("f" for "_Z1fv"), and reported as
            // a reader writes them ("f()").
            std::string readable = name;
            if (int status = 0; name.rfind("_Z", 0) == 0) {
                char* plain = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
                if (status == 0 && plain != nullptr) {
                    readable = plain;
                    image.symbols_.emplace(readable.substr(0, readable.find('(')),
                                           Symbol{address, symbol.st_size});
                }
                std::free(plain);
            }
            if (type == STT_FUNC) {
                image.functions_[address] = {readable, symbol.st_size};
            }
        }
        break;  // one symbol table: another would be a copy (and a damaged file's many, time)
    }
    return image;
}

std::optional<uint32_t> FirmwareImage::word(uint32_t address) const {
    for (const Segment& segment : segments_) {
        if (address >= segment.address &&
            uint64_t{address - segment.address} + 4 <= segment.bytes.size()) {
            uint32_t value = 0;
            std::memcpy(&value, segment.bytes.data() + (address - segment.address), 4);
            return value;
        }
    }
    return std::nullopt;
}

bool FirmwareImage::checkVectors(const std::string& name, std::string* error) const {
    // The core starts from address 0 when the image brings the boot loader, else from the
    // application's table, as the boot loader would hand over.
    bool bootCode = false;
    for (const Segment& segment : segments_) {
        bootCode = bootCode || (segment.address < chip::kImageBase && !segment.bytes.empty());
    }
    const uint32_t table = bootCode ? chip::kFlash.base : chip::kImageBase;
    const std::optional<uint32_t> stack = word(table);
    const std::optional<uint32_t> reset = word(table + 4);
    const std::string where = std::string(elf_ ? "" : "read as a flat binary (it is not ELF), ") +
                              "the vector table at " + Hex(table);
    if (!stack || !reset) {
        *error = name + " is not a firmware image: it has no vector table at " + Hex(table);
        return false;
    }
    if (*stack <= chip::kSram.base || *stack > chip::kSram.end() || *stack % 4 != 0) {
        *error = name + " is not a firmware image: " + where + " starts with " + Hex(*stack) +
                 ", not a stack pointer in SRAM (" + Hex(chip::kSram.base) + "-" +
                 Hex(static_cast<uint32_t>(chip::kSram.end())) + ")";
        return false;
    }
    if ((*reset & 1u) == 0 || !chip::kFlash.contains(*reset & ~1u)) {
        *error = name + " is not a firmware image: " + where + " has the reset entry " +
                 Hex(*reset) + ", not Thumb code in flash (an odd address below " +
                 Hex(static_cast<uint32_t>(chip::kFlash.end())) + ")";
        return false;
    }
    return true;
}

std::optional<Symbol> FirmwareImage::symbol(const std::string& name) const {
    const auto found = symbols_.find(name);
    if (found == symbols_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::string FirmwareImage::functionAt(uint32_t address) const {
    auto found = functions_.upper_bound(address);
    if (found == functions_.begin()) {
        return {};
    }
    --found;
    if (address - found->first >= std::max<uint32_t>(found->second.second, 1)) {
        return {};
    }
    return found->second.first;
}

}  // namespace sim::arm
