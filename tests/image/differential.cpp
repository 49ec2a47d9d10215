// The host build and the real image through the same scenario script: every screenshot must be
// the same pixel for pixel and every byte on the serial line the same. Also checks, on the image,
// the sizes of the structures whose layout the system fixes.
//
//   differential PANEL_SIM IMAGE SCRIPT WORKDIR [--golden DIR] [--expect FILE]
//                [--records CANVAS,CHECKBOX,BUTTON]
//
// --golden: every screenshot must also equal the picture of that name in DIR (PANEL_UPDATE_GOLDEN=1
// in the environment writes them from the host run instead). --expect: a file of what the runs
// must show, one expectation a line, each met after the one before it:
//   status FIELD=VALUE ...   the next status line has these fields (frame=2 Dev_1_ERROR=1)
//   write REG=VALUE ...      the next write to the module sets these registers, and is answered
//   read REG=VALUE ...       a later answer to a read holds these values
//   writes N                 the runs write to the module N times in all
// --records: a record of each widget class in the image, whose size the system fixes (the demo's
// CanvasFrame1, CheckBox16 and TextPushButton10 by default; "-" for a class the project lacks).
//
// Exits 0 when both runs agree (and meet the goldens and expectations), 1 naming the first
// diverging frame or byte or the unmet expectation, or the image when it has not been built.
#include <png.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <optional>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "firmware_image.hpp"
#include "png_io.hpp"

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
    {"Dev_1_ERROR", "VarRecord", 16},
};
// A record of each widget class, by the class's order here.
constexpr FixedSize kRecordSizes[] = {
    {"CanvasFrame1", "CanvasRecord", 64},
    {"CheckBox16", "CheckBoxRecord", 68},
    {"TextPushButton10", "PushButtonRecord", 88},
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

// A frame of the Modbus log, as the monitor writes it:
//   "TIME ms DIRECTION HH HH ...  | meaning | verdict" (a time-out's line has "-" for its bytes).
struct LoggedFrame {
    bool fromPanel;
    std::vector<unsigned> bytes;
};
std::vector<LoggedFrame> ReadFrames(const fs::path& file) {
    std::vector<LoggedFrame> frames;
    std::ifstream in(file);
    for (std::string text; std::getline(in, text);) {
        std::istringstream words(text);
        double time = 0;
        std::string unit;
        std::string direction;
        if (!(words >> time >> unit >> direction) ||
            (direction != "panel>module" && direction != "module>panel")) {
            continue;
        }
        LoggedFrame frame{direction == "panel>module", {}};
        for (std::string word; words >> word && word != "|" && word != "-";) {
            frame.bytes.push_back(static_cast<unsigned>(std::stoul(word, nullptr, 16)));
        }
        if (!frame.bytes.empty()) {
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

// The line's bytes in the log's order, each with its exchange (counted by the requests).
struct LineByte {
    size_t frame;
    std::string kind;
    size_t offset;
    unsigned value;
};
std::vector<LineByte> ReadLine(const fs::path& file) {
    std::vector<LineByte> bytes;
    size_t exchange = 0;
    for (const LoggedFrame& frame : ReadFrames(file)) {
        exchange += frame.fromPanel ? 1 : 0;
        for (size_t offset = 0; offset < frame.bytes.size(); ++offset) {
            bytes.push_back(LineByte{exchange, frame.fromPanel ? "request" : "answer", offset,
                                     frame.bytes[offset]});
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

// Empty when the host's screenshot equals the golden picture; PANEL_UPDATE_GOLDEN writes it.
std::string CompareGolden(const fs::path& shot, const fs::path& golden) {
    const char* update = std::getenv("PANEL_UPDATE_GOLDEN");
    if (update != nullptr && *update != '\0' && *update != '0') {
        std::error_code error;
        fs::copy_file(shot, golden, fs::copy_options::overwrite_existing, error);
        return error ? "cannot write " + golden.string() + ": " + error.message() : "";
    }
    pngio::RgbImage a;
    pngio::RgbImage b;
    std::string error;
    if (!pngio::Read(golden.string(), b, error)) {
        return error + " (PANEL_UPDATE_GOLDEN=1 writes it)";
    }
    if (!pngio::Read(shot.string(), a, error) || a.width != b.width || a.height != b.height) {
        return "the screenshot is missing or of another size";
    }
    int changed = 0;
    int left = a.width, top = a.height, right = -1, bottom = -1;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                ++changed;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (changed == 0) {
        return "";
    }
    return std::to_string(changed) + " pixels differ from " + golden.string() + " within (" +
           std::to_string(left) + ", " + std::to_string(top) + ")-(" + std::to_string(right) +
           ", " + std::to_string(bottom) + ")";
}

// One exchange with the module, decoded: what a write set, what a read's answer held.
struct Exchange {
    enum class Kind { Write, Read, Other } kind = Kind::Other;
    bool answered = false;  // a normal answer (not an exception, not silence)
    std::map<unsigned, unsigned> registers;
};

std::vector<Exchange> ReadExchanges(const fs::path& file) {
    // Each request with the first frame from the module after it (none when it went unanswered).
    std::vector<std::vector<unsigned>> frames;
    for (const LoggedFrame& frame : ReadFrames(file)) {
        if (frame.fromPanel) {
            frames.push_back(frame.bytes);
            frames.emplace_back();
        } else if (!frames.empty() && frames.back().empty()) {
            frames.back() = frame.bytes;
        }
    }
    std::vector<Exchange> exchanges;
    for (size_t i = 0; i + 1 < frames.size(); i += 2) {
        const std::vector<unsigned>& q = frames[i];
        const std::vector<unsigned>& a = frames[i + 1];
        Exchange e;
        if (q.size() < 8) {
            exchanges.push_back(e);
            continue;
        }
        const unsigned function = q[1];
        const unsigned first = q[2] << 8 | q[3];
        e.answered = a.size() >= 5 && a[1] == function;
        if (function == 16 && q.size() >= 9) {
            e.kind = Exchange::Kind::Write;
            const unsigned count = q[4] << 8 | q[5];
            for (unsigned r = 0; r < count && 8 + 2 * r < q.size(); ++r) {
                e.registers[first + r] = q[7 + 2 * r] << 8 | q[8 + 2 * r];
            }
        } else if (function == 6) {
            e.kind = Exchange::Kind::Write;
            e.registers[first] = q[4] << 8 | q[5];
        } else if (function == 3) {
            e.kind = Exchange::Kind::Read;
            const unsigned count = q[4] << 8 | q[5];
            for (unsigned r = 0; e.answered && r < count && 4 + 2 * r < a.size(); ++r) {
                e.registers[first + r] = a[3 + 2 * r] << 8 | a[4 + 2 * r];
            }
        }
        exchanges.push_back(e);
    }
    return exchanges;
}

// Empty when the run's status lines and exchanges meet every expectation, in order.
std::string CheckExpectations(const fs::path& expectations, const std::vector<std::string>& status,
                              const std::vector<Exchange>& exchanges) {
    std::ifstream in(expectations);
    if (!in) {
        return "cannot read " + expectations.string();
    }
    size_t nextStatus = 0;
    size_t nextExchange = 0;
    size_t writes = 0;
    for (const Exchange& e : exchanges) {
        writes += e.kind == Exchange::Kind::Write ? 1 : 0;
    }
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        std::istringstream words(text);
        std::string kind;
        if (!(words >> kind) || kind[0] == '#') {
            continue;
        }
        const std::string where = expectations.filename().string() + ":" + std::to_string(number);
        std::vector<std::string> fields;
        for (std::string field; words >> field;) {
            fields.push_back(field);
        }
        if (kind == "writes") {
            if (fields.size() != 1 || std::to_string(writes) != fields[0]) {
                return where + ": " + std::to_string(writes) + " writes to the module, not " +
                       (fields.empty() ? "?" : fields[0]);
            }
        } else if (kind == "status") {
            if (nextStatus >= status.size()) {
                return where + ": no status line left for '" + text + "'";
            }
            std::istringstream line(status[nextStatus]);
            std::vector<std::string> has;
            for (std::string word; line >> word;) {
                has.push_back(word);
            }
            for (const std::string& field : fields) {
                if (std::find(has.begin(), has.end(), field) == has.end()) {
                    return where + ": status line " + std::to_string(nextStatus + 1) + " has no " +
                           field + ": " + status[nextStatus];
                }
            }
            ++nextStatus;
        } else if (kind == "write" || kind == "read") {
            std::map<unsigned, unsigned> wanted;
            for (const std::string& field : fields) {
                const size_t equals = field.find('=');
                if (equals == std::string::npos) {
                    return where + ": '" + field + "' is not REG=VALUE";
                }
                wanted[static_cast<unsigned>(std::stoul(field.substr(0, equals)))] =
                    static_cast<unsigned>(std::stoul(field.substr(equals + 1)));
            }
            const auto meets = [&](const Exchange& e) {
                for (const auto& [reg, value] : wanted) {
                    const auto found = e.registers.find(reg);
                    if (found == e.registers.end() || found->second != value) {
                        return false;
                    }
                }
                return e.answered;
            };
            bool met = false;
            for (; !met && nextExchange < exchanges.size(); ++nextExchange) {
                const Exchange& e = exchanges[nextExchange];
                if (kind == "write" && e.kind == Exchange::Kind::Write) {
                    if (!meets(e)) {
                        return where + ": the next write to the module (exchange " +
                               std::to_string(nextExchange + 1) + ") does not set " +
                               text.substr(text.find(' ') + 1) + " or went unanswered";
                    }
                    met = true;
                } else if (kind == "read" && e.kind == Exchange::Kind::Read && meets(e)) {
                    met = true;
                }
            }
            if (!met) {
                return where + ": no " + (kind == "write" ? "write" : "read answer") +
                       " left that " + (kind == "write" ? "sets " : "holds ") +
                       text.substr(text.find(' ') + 1);
            }
        } else {
            return where + ": unknown expectation '" + kind + "'";
        }
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    std::string panelSim;
    std::string image;
    std::string script;
    std::string workDir;
    std::string goldenDir;
    std::string expectFile;
    std::string records;
    cli::Parser parser(
        "differential",
        "usage: differential PANEL_SIM IMAGE SCRIPT WORKDIR [--golden DIR] [--expect FILE]\n"
        "                    [--records CANVAS,CHECKBOX,BUTTON]\n"
        "  Runs SCRIPT on the host build and on the image and compares what they showed and sent.\n");
    parser.positional("PANEL_SIM", panelSim)
        .positional("IMAGE", image)
        .positional("SCRIPT", script)
        .positional("WORKDIR", workDir)
        .text("--golden", goldenDir)
        .text("--expect", expectFile)
        .text("--records", records);
    if (const std::optional<int> stop = parser.parse(argc, argv)) {
        return *stop;
    }
    const fs::path work = workDir;
    std::vector<FixedSize> fixedSizes(std::begin(kFixedSizes), std::end(kFixedSizes));
    std::vector<std::string> recordNames;
    for (std::stringstream list(records); list.good();) {
        std::string name;
        std::getline(list, name, ',');
        recordNames.push_back(name);
    }
    for (size_t i = 0; i < std::size(kRecordSizes); ++i) {
        FixedSize record = kRecordSizes[i];
        if (!records.empty()) {
            if (recordNames.size() != std::size(kRecordSizes)) {
                return parser.fail("--records names a canvas, a check box and a push button");
            }
            record.symbol = recordNames[i].c_str();
        }
        if (std::string(record.symbol) != "-") {
            fixedSizes.push_back(record);
        }
    }
    if (!fs::exists(image)) {
        std::printf("differential: no target image at %s (build the target-release "
                    "preset first; ./panel test does)\n", image.c_str());
        return 1;
    }
    bool agree = true;
    std::string error;
    const std::optional<sim::arm::FirmwareImage> elf = sim::arm::FirmwareImage::Read(image, &error);
    if (!elf) {
        std::printf("differential: %s\n", error.c_str());
        return 1;
    }
    for (const FixedSize& fixed : fixedSizes) {
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
            if (why.empty() && !goldenDir.empty()) {
                why = CompareGolden(work / "host" / file, fs::path(goldenDir) / file);
            }
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
    std::string modbusLog;
    std::ifstream lines(script);
    for (std::string text; std::getline(lines, text);) {
        std::istringstream words(text);
        std::string command;
        if (words >> command && command == "modbus-log") {
            words >> modbusLog;
        }
    }
    for (const char* run : {"host", "image"}) {
        if (!agree || expectFile.empty()) {
            break;
        }
        if (modbusLog.empty()) {
            std::printf("differential: --expect needs the script to write a modbus-log\n");
            agree = false;
            break;
        }
        const std::vector<std::string>& status =
            std::string(run) == "host" ? hostStatus : imageStatus;
        const std::string why =
            CheckExpectations(expectFile, status, ReadExchanges(work / run / modbusLog));
        if (!why.empty()) {
            std::printf("differential: on the %s: %s\n",
                        std::string(run) == "host" ? "host build" : "image", why.c_str());
            agree = false;
        }
    }
    if (!agree) {
        return 1;
    }
    std::printf("differential: host build and image agree on %zu screens, %zu bytes on the line "
                "and %zu status lines%s%s\n",
                screens, lineBytes, hostStatus.size(),
                goldenDir.empty() ? "" : "; the screens equal their golden pictures",
                expectFile.empty() ? "" : "; both meet every expectation");
    return 0;
}
