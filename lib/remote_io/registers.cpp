#include "registers.hpp"

#include <string>

namespace remote_io {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

int IndexOfAddress(long address) {
    return address >= kFirstRegister && address <= kLastRegister
               ? static_cast<int>(address - kFirstRegister)
               : -1;
}

int IndexOfTool(std::string_view name) {
    for (int i = 0; i < kRegisterCount; ++i) {
        if (SameName(name, kRegisters[i].tool)) {
            return i;
        }
    }
    return -1;
}

int IndexOfVariable(std::string_view name) {
    for (int i = 0; i < kRegisterCount; ++i) {
        if (SameName(name, kRegisters[i].variable)) {
            return i;
        }
    }
    return -1;
}

int FindRegister(std::string_view name) {
    if (!name.empty() && name.size() <= 5 &&
        name.find_first_not_of("0123456789") == std::string_view::npos) {
        return IndexOfAddress(std::stol(std::string(name)));
    }
    // The generator keeps tool and variable names apart, so at most one of these answers.
    const int tool = IndexOfTool(name);
    return tool >= 0 ? tool : IndexOfVariable(name);
}

std::string_view AddressRange() {
    static const std::string range = kRegisterCount == 1
                                         ? std::to_string(kFirstRegister)
                                         : std::to_string(kFirstRegister) + "-" +
                                               std::to_string(kLastRegister);
    return range;
}

}  // namespace remote_io
