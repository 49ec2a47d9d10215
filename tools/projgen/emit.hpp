// The sources a project's description becomes: the firmware's generated project files (_frame0
// to _frameN, _dict, the pictures) and the register map of the host code.
#pragma once

#include <string>
#include <vector>

#include "description.hpp"

namespace projgen {

struct GeneratedFile {
    std::string folder;  // where it goes: the sources folder or the host folder
    std::string name;
    std::string text;
};

// Every file, in memory; `command` is the command line to record at the top of each.
std::vector<GeneratedFile> Generate(const Project& project, const std::string& command);

// The first line of every generated file; the regeneration check knows a generated file by it.
std::string FirstLine(const Project& project);

}  // namespace projgen
