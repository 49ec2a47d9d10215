// The host build and the real image through the same scenario script: every screenshot must be
// the same pixel for pixel and every byte on the serial line the same. Also checks, on the image,
// the sizes of the structures whose layout the system fixes.
//
//   differential PANEL_SIM IMAGE SCRIPT WORKDIR
//
// Exits 0 when both runs agree, 1 naming the first diverging frame or byte, or the image when it
// has not been built.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "firmware_image.hpp"

namespace {

namespace fs = std::filesystem;

// Globals of the image and the size their type must have on the target.
struct FixedSize {
    const char* symbol;
    const char* type;
    uint32_t bytes;
};
constexpr FixedSize kFixedSizes[] = {
    {"g_sParameters", "ParameterBlock", 512},   {"g_sDisplayDriverROM", "DisplayDriver", 40},
    {"g_sRoot", "WidgetRecord", 32},            {"g_pMQ", "16 QueuedMessage", 16 * 20},
    {"CanvasFrame1", "CanvasRecord", 64},       {"CheckBox16", "CheckBoxRecord", 68},
    {"TextPushButton10", "PushButtonRecord", 88}, {"Dev_1_ERROR", "VarRecord", 16},
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool Run(const std::string& label, const fs::path& dir, const std::string& command) {
    fs::create_directories(dir);
    const std::string line = "cd " + Quote(dir.string()) + " && " + command + " >run.log 2>&1";
    if (std::system(line.c_str()) == 0) {
        return true;
    }
    std::printf("differential: the %s run failed; its output:\n", label.c_str());
    std::ifstream log(dir / "run.log");
    std::printf("%s\n", std::string(std::istreambuf_iterator<char>(log), {}).c_str());
    return false;
}

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

bool Load(const fs::path& file, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, file.c_str()) == 0) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    picture.width = image.width;
    picture.height = image.height;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

// Empty when the screens agree, else where they first differ.
std::string CompareScreens(const fs::path& host, const fs::path& image) {
    Picture a;
    Picture b;
    if (!Load(host, a) || !Load(image, b)) {
        return "a screenshot is missing or unreadable";
    }
    if (a.width != b.width || a.height != b.height) {
        return "the screens have different sizes";
    }
    size_t differing = 0;
    std::string first;
    for (size_t i = 0; i < a.rgb.size(); i += 3) {
        if (a.rgb[i] == b.rgb[i] && a.rgb[i + 1] == b.rgb[i + 1] && a.rgb[i + 2] == b.rgb[i + 2]) {
            continue;
        }
        if (differing++ == 0) {
            char text[120];
            std::snprintf(text, sizeof(text), "pixel (%zu, %zu): host %02X%02X%02X, image %02X%02X%02X",
                          (i / 3) % a.width, (i / 3) / a.width, a.rgb[i], a.rgb[i + 1],
                          a.rgb[i + 2], b.rgb[i], b.rgb[i + 1], b.rgb[i + 2]);
            first = text;
        }
    }
    return differing == 0 ? "" : first + " (" + std::to_string(differing) + " pixels differ)";
}

// The line's bytes as the log lists them: one frame a line, "request" or "answer", then hex.
struct LineByte {
    size_t frame;
    std::string kind;
    size_t offset;
    unsigned value;
};
std::vector<LineByte> ReadLine(const fs::path& file) {
    std::vector<LineByte> bytes;
    std::ifstream in(file);
    std::string text;
    for (size_t frame = 0; std::getline(in, text); ++frame) {
        std::istringstream words(text);
        std::string kind;
        words >> kind;
        unsigned value = 0;
        for (size_t offset = 0; words >> std::hex >> value; ++offset) {
            bytes.push_back(LineByte{frame / 2 + 1, kind, offset, value});
        }
    }
    return bytes;
}

std::string CompareLine(const fs::path& host, const fs::path& image, size_t& count) {
    const std::vector<LineByte> a = ReadLine(host);
    const std::vector<LineByte> b = ReadLine(image);
    count = a.size();
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i < a.size() && i < b.size() && a[i].value == b[i].value && a[i].kind == b[i].kind &&
            a[i].frame == b[i].frame) {
            continue;
        }
        const LineByte& at = i < a.size() ? a[i] : b[i];
        char text[160];
        std::snprintf(text, sizeof(text), "byte %zu on the line (exchange %zu, %s byte %zu): ",
                      i, at.frame, at.kind.c_str(), at.offset);
        std::string why = text;
        const auto show = [](const std::vector<LineByte>& v, size_t k) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "%02X", k < v.size() ? v[k].value : 0);
            return k < v.size() ? std::string(hex) : std::string("nothing");
        };
        return why + "host " + show(a, i) + ", image " + show(b, i);
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: differential PANEL_SIM IMAGE SCRIPT WORKDIR\n");
        return 2;
    }
    const std::string panelSim = argv[1];
    const std::string image = argv[2];
    const std::string script = argv[3];
    const fs::path work = argv[4];
    if (!fs::exists(image)) {
        std::printf("differential: no target image at %s (build the target-release preset "
                    "first; ./panel test does)\n", image.c_str());
        return 1;
    }
    bool agree = true;
    std::string error;
    const std::optional<sim::arm::FirmwareImage> elf = sim::arm::FirmwareImage::Read(image, &error);
    if (!elf) {
        std::printf("differential: %s\n", error.c_str());
        return 1;
    }
    for (const FixedSize& fixed : kFixedSizes) {
        const auto symbol = elf->symbol(fixed.symbol);
        if (!symbol || symbol->size != fixed.bytes) {
            std::printf("differential: %s (%s) is %u bytes in the image, the system fixes %u\n",
                        fixed.symbol, fixed.type, symbol ? symbol->size : 0, fixed.bytes);
            agree = false;
        }
    }

    fs::remove_all(work);
    const std::string run = Quote(panelSim) + " --script " + Quote(script);
    if (!Run("host build", work / "host", run) ||
        !Run("image", work / "image", run + " --image " + Quote(image))) {
        return 1;
    }
    std::ifstream figures(work / "image" / "run.log");
    for (std::string line; std::getline(figures, line);) {
        std::printf("image: %s\n", line.c_str());
    }

    // The script's outputs, in its order: the first that differs is the first divergence.
    std::ifstream in(script);
    size_t screens = 0;
    size_t lineBytes = 0;
    std::string text;
    for (int number = 1; agree && std::getline(in, text); ++number) {
        std::istringstream words(text);
        std::string command;
        std::string file;
        if (!(words >> command >> file)) {
            continue;
        }
        std::string why;
        if (command == "screenshot") {
            why = CompareScreens(work / "host" / file, work / "image" / file);
            ++screens;
        } else if (command == "modbus-log") {
            why = CompareLine(work / "host" / file, work / "image" / file, lineBytes);
        } else {
            continue;
        }
        if (!why.empty()) {
            std::printf("differential: first divergence at %s (%s line %d): %s\n", file.c_str(),
                        script.c_str(), number, why.c_str());
            agree = false;
        }
    }
    // Status lines: the image's adds its instruction and cycle counts to the host's fields.
    std::ifstream hostLog(work / "host" / "run.log");
    std::ifstream imageLog(work / "image" / "run.log");
    std::vector<std::string> hostStatus;
    std::vector<std::string> imageStatus;
    for (std::string line; std::getline(hostLog, line);) {
        if (line.rfind("t=", 0) == 0) {
            hostStatus.push_back(line);
        }
    }
    for (std::string line; std::getline(imageLog, line);) {
        if (line.rfind("t=", 0) == 0) {
            imageStatus.push_back(line);
        }
    }
    for (size_t i = 0; agree && i < hostStatus.size(); ++i) {
        if (i >= imageStatus.size() || imageStatus[i].rfind(hostStatus[i], 0) != 0) {
            std::printf("differential: status line %zu differs:\n  host:  %s\n  image: %s\n",
                        i + 1, hostStatus[i].c_str(),
                        i < imageStatus.size() ? imageStatus[i].c_str() : "(none)");
            agree = false;
        }
    }
    if (!agree) {
        return 1;
    }
    std::printf("differential: host build and image agree on %zu screens, %zu bytes on the line "
                "and %zu status lines\n",
                screens, lineBytes, hostStatus.size());
    return 0;
}
