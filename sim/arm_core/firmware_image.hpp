// A firmware image as a programmer would put it on the board: the ELF file the link produced
// (its loadable segments at their load addresses, and its symbol table), or a flat binary image
// loaded at address 0.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "chip.hpp"

namespace sim::arm {

struct Segment {
    uint32_t address;  // where the bytes go (the load address)
    std::vector<uint8_t> bytes;
};

struct Symbol {
    uint32_t address;
    uint32_t size;
};

// Whether bytes placed here lie wholly in one of the board's memories, flash or SRAM: all an
// image may fill.
inline bool InBoardMemory(uint32_t address, uint64_t length) {
    return chip::kFlash.contains(address, length) || chip::kSram.contains(address, length);
}

class FirmwareImage {
  public:
    // Reads an ELF or a flat binary; nothing and the reason on failure.
    static std::optional<FirmwareImage> Read(const std::string& path, std::string* error);
    // The same from the file's bytes (`name` for the messages). Refuses, with one line saying
    // why, anything that is not an ARM image of this board: an ELF file for another machine, bytes
    // outside flash and SRAM, or a vector table (at 0, or at the application's base when nothing
    // lies below it) whose stack pointer is not in SRAM or whose reset entry is not Thumb code in
    // flash.
    static std::optional<FirmwareImage> Parse(const std::vector<uint8_t>& file,
                                              const std::string& name, std::string* error);

    const std::vector<Segment>& segments() const { return segments_; }
    bool isElf() const { return elf_; }
    // Whether the ELF puts code in SRAM (its reset entry copies it there). A flat binary cannot
    // say; none that runs here does.
    bool executesFromSram() const { return executesFromSram_; }
    // A symbol of the ELF's table (functions without the Thumb bit), if present.
    std::optional<Symbol> symbol(const std::string& name) const;
    // The function that contains an address, demangled ("f(int)"), for faults and profiles.
    std::string functionAt(uint32_t address) const;
    // Whether a function symbol starts exactly here (a block there is a call's first).
    bool startsFunction(uint32_t address) const { return functions_.count(address) != 0; }
    // The function symbols by address: name and size.
    const std::map<uint32_t, std::pair<std::string, uint32_t>>& functions() const {
        return functions_;
    }

  private:
    bool checkVectors(const std::string& name, std::string* error) const;
    std::optional<uint32_t> word(uint32_t address) const;

    bool elf_ = false;
    bool executesFromSram_ = false;
    std::vector<Segment> segments_;
    std::map<std::string, Symbol> symbols_;
    std::map<uint32_t, std::pair<std::string, uint32_t>> functions_;
};

}  // namespace sim::arm
