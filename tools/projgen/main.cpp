// projgen: generates a panel project's sources from its description (projects/NAME/project.toml):
// the firmware's screen modules _frame0 ... _frameN, the variable dictionary _dict, the pictures,
// and the register map the host code takes the remote module from.
//
//   projgen projects/pump/project.toml            # into the folders the description names
//   projgen projects/pump/project.toml --out DIR  # all into DIR (the firmware's in DIR/project)
//
// Generated files start with a line naming projgen and are never edited by hand; projgen
// replaces only such files, and the project's own code beside them (the ladder and input hooks)
// is never touched. A mistake in the description is one line FILE:LINE: what is wrong, exit
// status 2, before anything is written.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "cli.hpp"
#include "command_line.hpp"
#include "description.hpp"
#include "emit.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: projgen DESCRIPTION [--out DIR]\n"
    "  Generates the project's firmware sources (_frame0 ... _frameN, _dict, the pictures) into\n"
    "  the folder its [project] sources names, and the register map of the host code\n"
    "  (module_registers.hpp) beside the description. With --out, all of them go into DIR (the\n"
    "  firmware's into DIR/project) and nothing else is touched.\n"
    "  Only files projgen generated are replaced; a mistake in the description is reported as\n"
    "  FILE:LINE: what is wrong (exit status 2) and nothing is written.\n";

// The hooks the generated sources call, which the project writes itself.
constexpr const char* kHooks[] = {"ladder.hpp",   "ladder.cpp",           "ladder_varo_ldx.hpp",
                                  "ladder_varo_ldx.cpp", "ladder2c.hpp", "ladder2c.cpp"};

std::optional<std::string> FirstLineOf(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return std::nullopt;
    }
    return line + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = gensource::CommandLine(argc, argv);
    std::string description;
    std::string out;
    cli::Parser parser("projgen", kUsage);
    parser.positional("DESCRIPTION", description).text("--out", out);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return *stop;
    }
    projgen::Project project;
    try {
        project = projgen::Read(description);
    } catch (const projgen::DescriptionError& error) {
        if (error.line > 0) {
            std::fprintf(stderr, "%s:%d: %s\n", description.c_str(), error.line,
                         error.what.c_str());
        } else {
            std::fprintf(stderr, "%s: %s\n", description.c_str(), error.what.c_str());
        }
        return 2;
    }
    if (!out.empty()) {
        project.sources = (fs::path(out) / "project").string();
        project.hostFolder = out;
    }
    const std::vector<projgen::GeneratedFile> files = projgen::Generate(project, command);
    const std::string mark = projgen::FirstLine(project);

    // Nothing is written unless every file may be.
    for (const projgen::GeneratedFile& file : files) {
        const fs::path path = fs::path(file.folder) / file.name;
        if (fs::exists(path) && FirstLineOf(path) != mark) {
            std::fprintf(stderr,
                         "projgen: %s exists and was not generated from %s: it is not replaced "
                         "(remove it if it should be)\n",
                         path.c_str(), project.label.c_str());
            return 1;
        }
    }
    std::set<fs::path> written;
    for (const projgen::GeneratedFile& file : files) {
        const fs::path path = fs::path(file.folder) / file.name;
        std::error_code error;
        fs::create_directories(file.folder, error);
        std::ofstream stream(path, std::ios::binary);
        stream << file.text;
        stream.close();
        if (!stream) {
            std::fprintf(stderr, "projgen: cannot write %s\n", path.c_str());
            return 1;
        }
        written.insert(fs::weakly_canonical(path));
    }
    // Files generated before that this description no longer makes (a screen taken out).
    for (const std::string& folder : {project.sources, project.hostFolder}) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            if (entry.is_regular_file() && FirstLineOf(entry.path()) == mark &&
                written.count(fs::weakly_canonical(entry.path())) == 0) {
                fs::remove(entry.path(), error);
                std::printf("projgen: removed %s (no longer generated)\n", entry.path().c_str());
            }
        }
    }
    std::printf("projgen: %zu screens, %d registers: %zu files into %s and %s\n",
                project.screens.size(), project.device.count, files.size(),
                project.sources.c_str(), project.hostFolder.c_str());
    if (out.empty()) {
        for (const char* hook : kHooks) {
            if (!fs::exists(fs::path(project.sources) / hook)) {
                std::printf("projgen: note: %s has no %s; the generated sources call the project's "
                            "hooks (copy them from projects/pump/project to start)\n",
                            project.sources.c_str(), hook);
            }
        }
    }
    return 0;
}
