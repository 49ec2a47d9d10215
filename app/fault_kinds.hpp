// The one table of what the module (or the line to it) can do wrong: the word scripts and the
// web page use, the label people read, the window's key, and what it does to the module model.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "remote_module.hpp"

namespace app {

struct FaultKind {
    const char* name;   // script word
    const char* label;  // for people
    char key;           // window key
    bool unplugged;     // the line itself, not the module
    sim::ModuleFault fault;

    // Whether it acts on the module model (so needs it on the line, and may last N answers).
    bool onModule() const { return !unplugged && fault != sim::ModuleFault::None; }
};

const std::vector<FaultKind>& FaultKinds();
// Nullptr when no kind has this name or key.
const FaultKind* FindFaultKind(std::string_view name);
const FaultKind* FaultKindOfKey(int key);
// "none, silence, bad-crc, ...", for messages and the command table.
std::string FaultKindNames();
// "1 silent module, 2 bad CRC, ..., 0 none", for the window's help.
std::string FaultKeys();

}  // namespace app
