// A firmware image as a programmer would put it on the board: the ELF file the link produced
// (its loadable segments at their load addresses, and its symbol table), or a flat binary image
// loaded at address 0.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim::arm {

struct Segment {
    uint32_t address;  // where the bytes go (the load address)
    std::vector<uint8_t> bytes;
};

struct Symbol {
    uint32_t address;
    uint32_t size;
};

class FirmwareImage {
  public:
    // Reads an ELF or a flat binary; nothing and the reason on failure.
    static std::optional<FirmwareImage> Read(const std::string& path, std::string* error);

    const std::vector<Segment>& segments() const { return segments_; }
    bool isElf() const { return elf_; }
    // A symbol of the ELF's table (functions without the Thumb bit), if present.
    std::optional<Symbol> symbol(const std::string& name) const;
    // The function that contains an address, demangled ("f(int)"), for faults and profiles.
    std::string functionAt(uint32_t address) const;
    // Whether a function symbol starts exactly here (a block there is a call's first).
    bool startsFunction(uint32_t address) const { return functions_.count(address) != 0; }

  private:
    bool elf_ = false;
    std::vector<Segment> segments_;
    std::map<std::string, Symbol> symbols_;
    std::map<uint32_t, std::pair<std::string, uint32_t>> functions_;
};

}  // namespace sim::arm
