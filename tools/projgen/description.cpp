#include "description.hpp"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "graphics/string.hpp"
#include "image_codec.hpp"
#include "png_io.hpp"

namespace projgen {

namespace {

constexpr int kScreenWidth = 320;
constexpr int kScreenHeight = 240;
// The message queue holds 15 pending messages. A control cycle may queue a paint for every label
// a screen shows, and a touch its pointer-down and -up beside them.
constexpr int kQueueEntries = 15;
constexpr int kMaxBoundLabels = kQueueEntries - 2;
// The Modbus master's 256-byte frames: a write of the whole block carries at most 123 registers.
constexpr int kMaxRegisters = 123;
// The panel waits at most 200 ms for an answer (200 waits of 1 ms on an empty receive ring).
constexpr double kAnswerTimeoutMs = 200;
constexpr int kSerialMaxLength = 23;
constexpr int kSerialMaxField = 7;

int LineOf(const toml::node& node) {
    return static_cast<int>(node.source().begin.line);
}

[[noreturn]] void Fail(int line, const std::string& what) {
    throw DescriptionError{line, what};
}
[[noreturn]] void Fail(const toml::node& node, const std::string& what) {
    Fail(LineOf(node), what);
}

const char* TypeName(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::table:
            return "a table";
        case toml::node_type::array:
            return "a list";
        case toml::node_type::string:
            return "a text";
        case toml::node_type::integer:
            return "a whole number";
        case toml::node_type::floating_point:
            return "a number with a fraction";
        case toml::node_type::boolean:
            return "true or false";
        default:
            return "a date or time";
    }
}

bool IsIdentifier(const std::string& name) {
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Corners(const std::array<int, 4>& at) {
    return "(" + std::to_string(at[0]) + ", " + std::to_string(at[1]) + ")-(" +
           std::to_string(at[2]) + ", " + std::to_string(at[3]) + ")";
}

// One table of the description: its keys are taken one by one, and whatever is left when it is
// done is a key the description should not have.
class Fields {
  public:
    Fields(const toml::table& table, std::string what) : table_(table), what_(std::move(what)) {}

    int line() const { return LineOf(table_); }
    const std::string& what() const { return what_; }
    bool has(const std::string& key) const { return table_.contains(key); }

    const toml::node* take(const std::string& key) {
        used_.insert(key);
        return table_.get(key);
    }
    const toml::node& need(const std::string& key) {
        const toml::node* node = take(key);
        if (node == nullptr) {
            Fail(line(), what_ + " needs '" + key + "'");
        }
        return *node;
    }

    // Reports the first key (in the file's order) that was never taken.
    void done() const {
        const toml::key* first = nullptr;
        for (const auto& [key, value] : table_) {
            if (used_.count(std::string(key.str())) == 0 &&
                (first == nullptr || key.source().begin.line < first->source().begin.line)) {
                first = &key;
            }
        }
        if (first != nullptr) {
            Fail(static_cast<int>(first->source().begin.line),
                 "unknown key '" + std::string(first->str()) + "' in " + what_);
        }
    }

  private:
    const toml::table& table_;
    std::string what_;
    std::set<std::string> used_;
};

const toml::table& AsTable(const toml::node& node, const std::string& what) {
    if (!node.is_table()) {
        Fail(node, what + " must be a table, not " + TypeName(node));
    }
    return *node.as_table();
}
const toml::array& AsArray(const toml::node& node, const std::string& what) {
    if (!node.is_array()) {
        Fail(node, what + " must be a list, not " + TypeName(node));
    }
    return *node.as_array();
}
std::string AsText(const toml::node& node, const std::string& what) {
    if (!node.is_string()) {
        Fail(node, what + " must be a text in quotes, not " + TypeName(node));
    }
    return node.as_string()->get();
}
int64_t AsWhole(const toml::node& node, const std::string& what, int64_t low, int64_t high) {
    if (!node.is_integer()) {
        Fail(node, what + " must be a whole number, not " + TypeName(node));
    }
    const int64_t value = node.as_integer()->get();
    if (value < low || value > high) {
        Fail(node, what + " must be " + std::to_string(low) + "-" + std::to_string(high) +
                       ", not " + std::to_string(value));
    }
    return value;
}
double AsNumber(const toml::node& node, const std::string& what) {
    if (node.is_integer()) {
        return static_cast<double>(node.as_integer()->get());
    }
    if (!node.is_floating_point()) {
        Fail(node, what + " must be a number, not " + TypeName(node));
    }
    return node.as_floating_point()->get();
}
uint32_t AsColour(const toml::node& node, const std::string& what) {
    return static_cast<uint32_t>(AsWhole(node, what + " (0xRRGGBB)", 0, 0xFFFFFF));
}
// A list of exactly `count` whole numbers within [low, high].
template <size_t N>
std::array<int, N> AsWholes(const toml::node& node, const std::string& what, int low, int high) {
    const toml::array& list = AsArray(node, what);
    if (list.size() != N) {
        Fail(node, what + " must list " + std::to_string(N) + " numbers, not " +
                       std::to_string(list.size()));
    }
    std::array<int, N> values{};
    for (size_t i = 0; i < N; ++i) {
        values[i] = static_cast<int>(AsWhole(*list.get(i), what, low, high));
    }
    return values;
}

// Printable ASCII: the characters the panel's fonts hold.
void CheckPrintable(const toml::node& node, const std::string& text, const std::string& what) {
    for (const char c : text) {
        if (c < 32 || c > 126) {
            Fail(node, what + " '" + text + "' has a character the panel's fonts do not hold "
                              "(they hold printable ASCII)");
        }
    }
}

const FontRecord* FontNamed(const std::string& font) {
    if (font == "cm12") {
        return &g_sFontCm12;
    }
    if (font == "cm14") {
        return &g_sFontCm14;
    }
    if (font == "cm14b") {
        return &g_sFontCm14b;
    }
    return nullptr;
}

std::string CheckFont(const toml::node& node, const std::string& what) {
    const std::string font = AsText(node, what);
    if (FontNamed(font) == nullptr) {
        Fail(node, "unknown font '" + font + "' in " + what + " (cm12, cm14 or cm14b)");
    }
    return font;
}

// The configuration string as the serial layer reads it, with every case it would refuse or
// quietly read otherwise refused here.
Serial CheckSerial(const toml::node& node) {
    Serial serial;
    serial.text = AsText(node, "the device's serial");
    const std::string& text = serial.text;
    const auto bad = [&](const std::string& why) {
        Fail(node, "serial \"" + text + "\": " + why);
    };
    if (text.size() > kSerialMaxLength) {
        bad("the serial layer takes at most " + std::to_string(kSerialMaxLength) + " characters");
    }
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string field; std::getline(in, field, ',');) {
        fields.push_back(field);
    }
    if (!text.empty() && text.back() == ',') {
        fields.emplace_back();
    }
    if (fields.size() != 5) {
        bad("needs five fields PORT,BAUD,PARITY,DATA,STOP");
    }
    for (const std::string& field : fields) {
        if (field.empty()) {
            bad("an empty field moves the later ones up (the serial layer skips it)");
        }
        if (field.size() > kSerialMaxField) {
            bad("the field '" + field + "' is longer than the serial layer's " +
                std::to_string(kSerialMaxField) + " characters");
        }
    }
    const std::string& port = fields[0];
    if (port.size() < 4 || port.compare(0, 3, "COM") != 0 ||
        port.find_first_not_of("0123456789", 3) != std::string::npos) {
        bad("the port must be COM and a number, not '" + port + "'");
    }
    if (fields[1].find_first_not_of("0123456789") != std::string::npos) {
        bad("the baud rate '" + fields[1] + "' is not a decimal number");
    }
    serial.baud = static_cast<uint32_t>(std::stoul(fields[1]));
    // The UART divides the 50 MHz clock by 16 times the baud rate; a divisor under 1 cannot be set.
    if (serial.baud < 300 || serial.baud > 3125000) {
        bad("the baud rate must be 300-3125000");
    }
    if (fields[2].size() != 1 || std::string("NEOMS").find(fields[2][0]) == std::string::npos) {
        bad("the parity must be N, E, O, M or S (other letters are read as N), not '" +
            fields[2] + "'");
    }
    serial.parity = fields[2][0];
    if (fields[3] != "8") {
        bad("Modbus RTU needs 8 data bits, not '" + fields[3] + "'");
    }
    if (fields[4] != "1" && fields[4] != "2") {
        bad("the stop bits must be 1 or 2 (others are read as 1), not '" + fields[4] + "'");
    }
    serial.stopBits = fields[4][0] - '0';
    return serial;
}

Role CheckRole(const toml::node& node) {
    static const std::map<std::string, Role> kRoles = {
        {"output", Role::Output},          {"digital_input", Role::DigitalInput},
        {"counter", Role::Counter},        {"analogue", Role::Analogue},
        {"sms_request", Role::SmsRequest}, {"email_request", Role::EmailRequest},
    };
    const std::string name = AsText(node, "a register's role");
    const auto found = kRoles.find(name);
    if (found == kRoles.end()) {
        Fail(node, "unknown role '" + name +
                       "' (output, digital_input, counter, analogue, sms_request, email_request)");
    }
    return found->second;
}

bool IsInputRole(Role role) {
    return role == Role::DigitalInput || role == Role::Counter || role == Role::Analogue;
}

Device ReadDevice(const toml::node& node) {
    Fields f(AsTable(node, "[device]"), "[device]");
    Device device;
    device.slave = static_cast<int>(AsWhole(f.need("slave"), "the slave address", 1, 247));
    const toml::node& serialNode = f.need("serial");
    device.serial = CheckSerial(serialNode);
    device.first = static_cast<int>(AsWhole(f.need("first"), "the first register", 0, 65535));
    const toml::node& count = f.need("count");
    device.count = static_cast<int>(AsWhole(count, "the register count", 1, 65535));
    if (device.count > kMaxRegisters) {
        Fail(count, "a block of " + std::to_string(device.count) +
                        " registers: the Modbus master's 256-byte frames carry at most " +
                        std::to_string(kMaxRegisters) + " in a write");
    }
    if (device.first + device.count > 65536) {
        Fail(count, "the block runs past register 65535");
    }
    const Serial& s = device.serial;
    const int bits = 1 + s.dataBits + (s.parity == 'N' ? 0 : 1) + s.stopBits;
    const double answerMs = (5.0 + 2.0 * device.count) * bits * 1000.0 / s.baud;
    if (answerMs >= kAnswerTimeoutMs) {
        std::ostringstream why;
        why.precision(0);
        why << std::fixed << "the answer of " << device.count << " registers takes " << answerMs
            << " ms at " << s.baud << " baud: the panel gives up after "
            << kAnswerTimeoutMs << " ms";
        Fail(serialNode, why.str());
    }
    const std::string last = std::to_string(device.first + device.count - 1);
    const std::string block = std::to_string(device.first) + "-" + last;

    const toml::node& list = f.need("registers");
    std::map<int, Register> byAddress;
    std::map<std::string, int> toolLines;
    for (const toml::node& entry : AsArray(list, "the device's registers")) {
        Fields r(AsTable(entry, "a register"), "a register");
        Register reg;
        reg.line = r.line();
        const toml::node& address = r.need("address");
        reg.address = static_cast<int>(AsWhole(address, "a register's address", 0, 65535));
        if (reg.address < device.first || reg.address >= device.first + device.count) {
            Fail(address, "register " + std::to_string(reg.address) +
                              " is outside the device's block " + block);
        }
        if (const auto twice = byAddress.find(reg.address); twice != byAddress.end()) {
            Fail(address, "register " + std::to_string(reg.address) +
                              " is described twice (first on line " +
                              std::to_string(twice->second.line) + ")");
        }
        const toml::node& tool = r.need("tool");
        reg.tool = AsText(tool, "a register's tool name");
        if (!IsIdentifier(reg.tool) || reg.tool.size() > 16) {
            Fail(tool, "tool name '" + reg.tool +
                           "' must be one word of letters, digits and '_' (at most 16)");
        }
        if (const auto twice = toolLines.find(Lower(reg.tool)); twice != toolLines.end()) {
            Fail(tool, "tool name '" + reg.tool + "' is used twice (first on line " +
                           std::to_string(twice->second) + ")");
        }
        toolLines[Lower(reg.tool)] = reg.line;
        reg.role = CheckRole(r.need("role"));
        if (const toml::node* period = r.take("period")) {
            if (!IsInputRole(reg.role)) {
                Fail(*period, "only inputs (digital_input, counter, analogue) have a period");
            }
            reg.period = AsNumber(*period, "a register's period");
            if (!(reg.period >= 0.01 && reg.period <= 86400)) {
                Fail(*period, "the period must be 0.01-86400 seconds");
            }
        } else if (IsInputRole(reg.role)) {
            Fail(r.line(), "an input needs its 'period' in seconds");
        }
        reg.variable = "Dev_1_AO" + std::to_string(reg.address - device.first);
        r.done();
        byAddress[reg.address] = reg;
    }
    for (int a = device.first; a < device.first + device.count; ++a) {
        if (byAddress.count(a) == 0) {
            Fail(list, "register " + std::to_string(a) + " of the block " + block +
                           " is not described");
        }
        device.registers.push_back(byAddress[a]);
    }
    // Names are looked up without regard to case, by tool name or variable: keep them apart.
    for (const Register& reg : device.registers) {
        for (const Register& other : device.registers) {
            if (Lower(reg.tool) == Lower(other.variable)) {
                Fail(reg.line, "tool name '" + reg.tool + "' is the variable name of register " +
                                   std::to_string(other.address));
            }
        }
    }
    f.done();
    return device;
}

// The device's own variables, which every project has (the poller's switches and its result).
const char* const kDeviceVariables[] = {"Dev_1_ENABLE_AO",     "Dev_1_R_ACTION",
                                        "Dev_1_W_ACTION",      "Dev_1_ERROR",
                                        "Dev_1_ENABLE_DEVICE", "Dev_1_ADDR_BASE"};

struct ClassInfo {
    WidgetClass cls;
    const char* name;
    std::vector<std::pair<const char*, uint32_t>> styles;
};

const std::vector<ClassInfo>& Classes() {
    static const std::vector<ClassInfo> classes = {
        {WidgetClass::PushButton,
         "push_button",
         {{"outline", 0x01},
          {"fill", 0x02},
          {"text", 0x04},
          {"image", 0x08},
          {"text_opaque", 0x10},
          {"auto_repeat", 0x20},
          {"no_press_click", 0x80}}},
        {WidgetClass::Label,
         "label",
         {{"outline", 0x001},
          {"fill", 0x002},
          {"text", 0x004},
          {"image", 0x008},
          {"text_opaque", 0x020},
          {"text_left", 0x040},
          {"text_right", 0x080},
          {"text_top", 0x100},
          {"text_bottom", 0x200}}},
        {WidgetClass::CheckBox,
         "check_box",
         {{"outline", 0x01},
          {"fill", 0x02},
          {"text", 0x04},
          {"image", 0x08},
          {"text_opaque", 0x10},
          {"app_drawn", 0x40}}},
    };
    return classes;
}

const ClassInfo& InfoOf(WidgetClass cls) {
    for (const ClassInfo& info : Classes()) {
        if (info.cls == cls) {
            return info;
        }
    }
    return Classes().front();
}

constexpr uint32_t kOutline = 0x01;
constexpr uint32_t kText = 0x04;
constexpr uint32_t kImage = 0x08;
constexpr uint32_t kAppDrawn = 0x40;

// The keys a widget of each class may have; a kind may give the look's and a few others.
const std::set<std::string>& KeysOf(WidgetClass cls) {
    static const std::set<std::string> button = {
        "kind", "class", "number", "at", "style", "fill", "pressed_fill", "outline",
        "text_colour", "font", "text", "image", "pressed_image", "repeat_delay", "repeat_rate",
        "goto", "send", "press", "release"};
    static const std::set<std::string> label = {"kind", "class", "number", "at", "style", "fill",
                                                "outline", "text_colour", "font", "text", "image",
                                                "variable"};
    static const std::set<std::string> box = {
        "kind", "class", "number", "at", "style", "fill", "outline", "text_colour", "font", "text",
        "image", "box_size", "variable", "object_list", "group", "picture", "states"};
    return cls == WidgetClass::PushButton ? button : cls == WidgetClass::Label ? label : box;
}
const std::set<std::string> kNotInKinds = {"kind",  "number", "at",    "variable", "object_list",
                                           "states", "goto",  "send",  "press",    "release"};

WidgetClass CheckClass(const toml::node& node) {
    const std::string name = AsText(node, "a widget's class");
    for (const ClassInfo& info : Classes()) {
        if (name == info.name) {
            return info.cls;
        }
    }
    Fail(node, "unknown widget class '" + name + "' (push_button, label, check_box)");
}

std::string ClassName(WidgetClass cls) {
    return InfoOf(cls).name;
}

struct Kind {
    WidgetClass cls;
    const toml::table* table;
};

// A widget's keys, looked up in the widget first, then in its kind.
class WidgetFields {
  public:
    WidgetFields(Fields& own, const toml::table* kind) : own_(own), kind_(kind) {}
    const toml::node* take(const std::string& key) {
        if (const toml::node* node = own_.take(key)) {
            return node;
        }
        return kind_ != nullptr ? kind_->get(key) : nullptr;
    }
    const toml::node& need(const std::string& key) {
        const toml::node* node = take(key);
        if (node == nullptr) {
            Fail(own_.line(), own_.what() + " needs '" + key + "'");
        }
        return *node;
    }
    int line() const { return own_.line(); }

  private:
    Fields& own_;
    const toml::table* kind_;
};

// The look keys of a widget (or of a kind alone, to tell whether a widget keeps its kind's look).
Look ReadLook(WidgetClass cls, WidgetFields& f, const std::string& what) {
    Look look;
    const toml::node& style = f.need("style");
    for (const toml::node& bit : AsArray(style, "the style of " + what)) {
        const std::string name = AsText(bit, "a style bit");
        bool known = false;
        for (const auto& [styleName, value] : InfoOf(cls).styles) {
            if (name == styleName) {
                look.style |= value;
                known = true;
            }
        }
        if (!known) {
            std::string names;
            for (const auto& [styleName, value] : InfoOf(cls).styles) {
                names += (names.empty() ? "" : ", ") + std::string(styleName);
            }
            Fail(bit, "unknown style '" + name + "' of a " + ClassName(cls) + " (" + names + ")");
        }
    }
    if (const toml::node* n = f.take("fill")) {
        look.fill = AsColour(*n, "fill");
    }
    if (const toml::node* n = f.take("outline")) {
        look.outline = AsColour(*n, "outline");
    }
    if (const toml::node* n = f.take("text_colour")) {
        look.textColour = AsColour(*n, "text_colour");
    }
    if (const toml::node* n = f.take("font")) {
        look.font = CheckFont(*n, what);
    } else if ((look.style & kText) != 0) {
        Fail(f.line(), what + " shows a text and needs its 'font'");
    }
    if (const toml::node* n = f.take("image")) {
        look.image = AsText(*n, "image");
    }
    if (cls == WidgetClass::PushButton) {
        if (const toml::node* n = f.take("pressed_fill")) {
            look.pressedFill = AsColour(*n, "pressed_fill");
        }
        if (const toml::node* n = f.take("pressed_image")) {
            look.pressedImage = AsText(*n, "pressed_image");
        }
        if (const toml::node* n = f.take("repeat_delay")) {
            look.repeatDelay = static_cast<int>(AsWhole(*n, "repeat_delay", 0, 65535));
        }
        if (const toml::node* n = f.take("repeat_rate")) {
            look.repeatRate = static_cast<int>(AsWhole(*n, "repeat_rate", 0, 65535));
        }
    }
    if (cls == WidgetClass::CheckBox) {
        if (const toml::node* n = f.take("box_size")) {
            look.boxSize = static_cast<int>(AsWhole(*n, "box_size", 0, 240));
        }
    }
    return look;
}

Action ReadAction(const toml::node& node, const std::string& what) {
    Fields f(AsTable(node, what), what);
    Action action;
    action.kind = Action::Kind::Write;
    action.variable = AsText(f.need("write"), "the variable " + what + " writes");
    action.value = static_cast<int32_t>(AsWhole(f.need("value"), "the value", 0, 65535));
    f.done();
    return action;
}

class Reader {
  public:
    explicit Reader(const std::string& file) : file_(file) {}

    Project read() {
        toml::table root;
        try {
            root = toml::parse_file(file_);
        } catch (const toml::parse_error& error) {
            std::string what(error.description());
            if (error.source().begin.line == 0) {
                Fail(0, "cannot be read: " + what);
            }
            Fail(static_cast<int>(error.source().begin.line), what);
        }
        namespace fs = std::filesystem;
        const fs::path path(file_);
        Project project;
        project.file = file_;
        const fs::path folder = path.parent_path();
        project.label = (folder.filename().empty() ? fs::path(".") : folder.filename()).string() +
                        "/" + path.filename().string();
        project.hostFolder = folder.empty() ? "." : folder.string();

        Fields top(root, "the description");
        Fields p(AsTable(top.need("project"), "[project]"), "[project]");
        const toml::node& sources = p.need("sources");
        const std::string relative = AsText(sources, "the sources folder");
        if (fs::path(relative).filename() != "project") {
            Fail(sources, "the sources folder must be named 'project' (the firmware includes its "
                          "files as project/...), not '" + relative + "'");
        }
        project.sources = (folder / relative).lexically_normal().string();
        if (const toml::node* about = p.take("about")) {
            project.about = AsText(*about, "about");
        }
        p.done();

        project.device = ReadDevice(top.need("device"));
        for (const Register& reg : project.device.registers) {
            variables_[reg.variable] = reg.line;
        }
        for (const char* name : kDeviceVariables) {
            variables_[name] = 0;
        }
        if (const toml::node* locals = top.take("variable")) {
            for (const toml::node& entry : AsArray(*locals, "[[variable]]")) {
                project.locals.push_back(readLocal(entry));
            }
        }
        if (const toml::node* pictures = top.take("pictures")) {
            readImages(AsTable(*pictures, "[pictures]"), folder, project);
        }
        if (const toml::node* kinds = top.take("kind")) {
            readKinds(AsTable(*kinds, "[kind]"));
        }
        if (const toml::node* steps = top.take("steps")) {
            for (const auto& [key, value] : AsTable(*steps, "[steps]")) {
                AsArray(value, "the steps '" + std::string(key.str()) + "'");
                stepGroups_[std::string(key.str())] = &value;
            }
        }
        const toml::node& screens = top.need("screen");
        for (const toml::node& entry : AsArray(screens, "[[screen]]")) {
            project.screens.push_back(readScreen(entry, project));
        }
        top.done();
        crossCheck(project);
        return project;
    }

  private:
    Local readLocal(const toml::node& node) {
        Fields f(AsTable(node, "[[variable]]"), "a variable");
        Local local;
        local.line = f.line();
        const toml::node& name = f.need("name");
        local.name = AsText(name, "a variable's name");
        if (!IsIdentifier(local.name)) {
            Fail(name, "variable name '" + local.name + "' is not a C++ identifier");
        }
        if (local.name.rfind("Dev_1_", 0) == 0 || local.name.rfind("__", 0) == 0) {
            Fail(name, "variable name '" + local.name +
                           "' is reserved (Dev_1_... and __... are the generator's)");
        }
        if (const auto twice = variables_.find(local.name); twice != variables_.end()) {
            Fail(name, "variable '" + local.name + "' is declared twice");
        }
        if (const toml::node* initial = f.take("initial")) {
            local.initial = static_cast<int32_t>(
                AsWhole(*initial, "a variable's initial value", INT32_MIN, INT32_MAX));
        }
        f.done();
        variables_[local.name] = local.line;
        return local;
    }

    void readImages(const toml::table& table, const std::filesystem::path& folder,
                    Project& project) {
        std::vector<std::pair<int, std::string>> order;
        for (const auto& [key, value] : table) {
            order.emplace_back(static_cast<int>(key.source().begin.line), std::string(key.str()));
        }
        std::sort(order.begin(), order.end());
        for (const auto& [line, name] : order) {
            const toml::node& node = *table.get(name);
            Fields f(AsTable(node, "picture " + name), "picture " + name);
            Image image;
            image.name = name;
            image.line = line;
            if (!IsIdentifier(name)) {
                Fail(line, "picture name '" + name + "' is not a C++ identifier");
            }
            const toml::node& format = f.need("format");
            image.format = static_cast<uint8_t>(AsWhole(format, "a picture's format", 0, 0xFF));
            if (!imagegen::IsFormat(image.format)) {
                Fail(format, "picture " + name +
                                 ": the format must be 0x01, 0x04, 0x08, 0x81, 0x84, 0x88 or 0xC0");
            }
            if (const toml::node* about = f.take("about")) {
                image.about = AsText(*about, "about");
            }
            const toml::node* artwork = f.take("artwork");
            const toml::node* png = f.take("png");
            if ((artwork != nullptr) == (png != nullptr)) {
                Fail(line, "picture " + name + " needs either 'png' (a file) or 'artwork = true'");
            }
            if (artwork != nullptr) {
                if (!artwork->is_boolean() || !artwork->as_boolean()->get()) {
                    Fail(*artwork, "'artwork' can only be true");
                }
                image.artwork = true;
                const auto size = AsWholes<2>(f.need("size"), "a picture's size", 1, 4096);
                image.width = size[0];
                image.height = size[1];
                if (const toml::node* colours = f.take("colours")) {
                    image.colours = static_cast<int>(AsWhole(*colours, "colours", 1, 256));
                }
                if (image.format == imagegen::kDirect16) {
                    const toml::node& storage = f.need("storage");
                    image.storage = AsText(storage, "the record's storage");
                    if (!IsIdentifier(image.storage)) {
                        Fail(storage, "storage '" + image.storage + "' is not a C++ identifier");
                    }
                }
            } else {
                image.png = AsText(*png, "a picture file");
                image.pngPath = (folder / image.png).string();
                pngio::RgbImage rgb;
                std::string error;
                if (!pngio::Read(image.pngPath, rgb, error)) {
                    Fail(*png, "picture file '" + image.png + "' cannot be read: " + error);
                }
                image.width = rgb.width;
                image.height = rgb.height;
                try {
                    const imagegen::Encoded encoded = imagegen::Encode(rgb, image.format);
                    image.record = encoded.record;
                    image.colours = static_cast<int>(encoded.colors);
                } catch (const std::exception& failure) {
                    Fail(*png, "picture file '" + image.png + "': " + failure.what());
                }
            }
            f.done();
            project.images.push_back(std::move(image));
        }
        // artgen keeps every 16 bpp picture in one record type.
        const Image* first16 = nullptr;
        for (const Image& image : project.images) {
            if (image.artwork && image.format == imagegen::kDirect16) {
                if (first16 != nullptr &&
                    (image.width != first16->width || image.height != first16->height)) {
                    Fail(image.line, "artwork at 16 bpp must all be one size (artgen's record "
                                     "type), like " + first16->name);
                }
                first16 = first16 != nullptr ? first16 : &image;
            }
        }
    }

    void readKinds(const toml::table& table) {
        for (const auto& [key, value] : table) {
            const std::string name(key.str());
            const toml::table& kind = AsTable(value, "kind " + name);
            if (!IsIdentifier(name)) {
                Fail(value, "kind name '" + name + "' is not one word");
            }
            const toml::node* cls = kind.get("class");
            if (cls == nullptr) {
                Fail(value, "kind " + name + " needs its 'class'");
            }
            const WidgetClass widgetClass = CheckClass(*cls);
            for (const auto& [kindKey, kindValue] : kind) {
                const std::string k(kindKey.str());
                if (KeysOf(widgetClass).count(k) == 0 || kNotInKinds.count(k) != 0) {
                    Fail(static_cast<int>(kindKey.source().begin.line),
                         "unknown key '" + k + "' in kind " + name);
                }
            }
            kinds_[name] = Kind{widgetClass, &kind};
        }
    }

    Step readStep(const toml::node& node) {
        Fields f(AsTable(node, "a drawing step"), "a drawing step");
        Step step;
        step.line = f.line();
        if (const toml::node* rect = f.take("rect")) {
            step.kind = Step::Kind::Rect;
            step.at = AsWholes<4>(*rect, "a rectangle's corners", -32768, 32767);
            if (step.at[0] > step.at[2] || step.at[1] > step.at[3]) {
                Fail(*rect, "rectangle " + Corners(step.at) + " has its corners swapped");
            }
            step.colour = AsColour(f.need("colour"), "the rectangle's colour");
        } else if (const toml::node* picture = f.take("picture")) {
            step.kind = Step::Kind::Picture;
            step.picture = static_cast<int>(AsWhole(*picture, "a picture's number", 1, 99999));
            step.image = AsText(f.need("image"), "a picture's image");
            const auto at = AsWholes<2>(f.need("at"), "a picture's place", -32768, 32767);
            step.at = {at[0], at[1], 0, 0};
        } else if (const toml::node* text = f.take("text")) {
            step.kind = Step::Kind::Text;
            step.text = AsText(*text, "a text");
            CheckPrintable(*text, step.text, "text");
            const auto at = AsWholes<2>(f.need("at"), "a text's place", -32768, 32767);
            step.at = {at[0], at[1], 0, 0};
            step.colour = AsColour(f.need("colour"), "the text's colour");
            step.font = CheckFont(f.need("font"), "a text");
        } else {
            Fail(f.line(), "a drawing step needs 'rect', 'picture', 'text' or 'steps'");
        }
        f.done();
        return step;
    }

    void readSteps(const toml::node& list, std::vector<Step>& steps, int depth) {
        for (const toml::node& entry : AsArray(list, "a screen's vector")) {
            const toml::table& table = AsTable(entry, "a drawing step");
            if (const toml::node* group = table.get("steps")) {
                const std::string name = AsText(*group, "a group of steps");
                if (table.size() != 1) {
                    Fail(entry, "a step that draws the group '" + name + "' has nothing else");
                }
                const auto found = stepGroups_.find(name);
                if (found == stepGroups_.end()) {
                    Fail(*group, "no group of steps '" + name + "' in [steps]");
                }
                if (depth > 8) {
                    Fail(*group, "the groups of steps draw each other in a circle");
                }
                readSteps(*found->second, steps, depth + 1);
                continue;
            }
            steps.push_back(readStep(entry));
        }
    }

    Widget readWidget(const toml::node& node, const Screen& screen) {
        const toml::table& table = AsTable(node, "a widget");
        const toml::table* kindTable = nullptr;
        std::optional<WidgetClass> cls;
        if (const toml::node* kind = table.get("kind")) {
            const std::string name = AsText(*kind, "a widget's kind");
            const auto found = kinds_.find(name);
            if (found == kinds_.end()) {
                Fail(*kind, "no kind '" + name + "' in [kind]");
            }
            kindTable = found->second.table;
            cls = found->second.cls;
        }
        if (const toml::node* c = table.get("class")) {
            const WidgetClass own = CheckClass(*c);
            if (cls && *cls != own) {
                Fail(*c, "the widget's class differs from its kind's");
            }
            cls = own;
        }
        if (!cls) {
            Fail(node, "a widget needs its 'class' (push_button, label, check_box) or a 'kind'");
        }
        Widget w;
        w.cls = *cls;
        w.line = LineOf(node);
        const std::string className = ClassName(w.cls);
        const toml::node* number = table.get("number");
        if (number == nullptr) {
            Fail(node, "a " + className + " needs its 'number'");
        }
        w.number = static_cast<int>(AsWhole(*number, "a widget's number", 1, 99999));
        const std::string what = className + " " + std::to_string(w.number);
        Fields own(table, what);
        WidgetFields f(own, kindTable);
        (void)own.take("number");
        (void)f.take("class");
        if (const toml::node* kind = own.take("kind")) {
            w.kind = AsText(*kind, "kind");
        }
        const toml::node& at = f.need("at");
        w.at = AsWholes<4>(at, "the corners of " + what, -32768, 32767);
        if (w.at[0] < 0 || w.at[1] < 0 || w.at[2] >= kScreenWidth || w.at[3] >= kScreenHeight ||
            w.at[0] > w.at[2] || w.at[1] > w.at[3]) {
            Fail(at, what + " at " + Corners(w.at) + " is not inside the 320 x 240 screen");
        }
        w.look = ReadLook(w.cls, f, what);
        if (kindTable != nullptr) {
            // A kind that leaves part of the look to its widgets gives none of them its own.
            Fields kindOnly(*kindTable, "kind " + w.kind);
            WidgetFields k(kindOnly, nullptr);
            try {
                w.ownLook = !(ReadLook(w.cls, k, "kind " + w.kind) == w.look);
            } catch (const DescriptionError&) {
                w.ownLook = true;
            }
        }
        if (const toml::node* text = f.take("text")) {
            w.text = AsText(*text, "the text of " + what);
            CheckPrintable(*text, w.text, "the text of " + what);
        }
        const uint32_t style = w.look.style;
        if (w.cls == WidgetClass::CheckBox && (style & kAppDrawn) != 0 && w.text.empty()) {
            w.text = w.name();  // never drawn: the widget's own name
        }
        // The room each class leaves its text: inside the outline, and beside the box and its gap.
        const int width = w.at[2] - w.at[0] + 1;
        int room = -1;
        if ((style & kText) != 0) {
            if (w.cls == WidgetClass::CheckBox) {
                if ((style & kAppDrawn) == 0) {
                    room = width - w.look.boxSize - 4 - ((style & kOutline) != 0 ? 1 : 0);
                }
            } else {
                room = width - ((style & kOutline) != 0 ? 2 : 0);
            }
        }
        if (room >= 0) {
            const int textWidth = *TextWidth(w.look.font, w.text);
            if (textWidth > room) {
                Fail(w.line, "the text \"" + w.text + "\" of " + what + " is " +
                                 std::to_string(textWidth) + " pixels wide in " + w.look.font +
                                 ", and the widget has room for " + std::to_string(room));
            }
        }
        if ((style & kImage) != 0 && w.look.image.empty()) {
            Fail(w.line, what + " shows an image and needs its 'image'");
        }
        if (w.cls == WidgetClass::PushButton) {
            if (const toml::node* frame = f.take("goto")) {
                w.release.kind = Action::Kind::Goto;
                w.release.frame = AsText(*frame, "the frame " + what + " goes to");
                w.release.line = LineOf(*frame);
            }
            if (const toml::node* send = f.take("send")) {
                if (w.release.kind != Action::Kind::None) {
                    Fail(*send, what + " has two release actions ('goto' and 'send')");
                }
                const std::string variable = AsText(*send, "the variable " + what + " sends");
                w.press = {Action::Kind::Write, "", variable, 1};
                w.release = {Action::Kind::Write, "", variable, 0};
            }
            if (const toml::node* press = f.take("press")) {
                if (w.press.kind != Action::Kind::None) {
                    Fail(*press, what + " has two press actions");
                }
                w.press = ReadAction(*press, "the press of " + what);
            }
            if (const toml::node* release = f.take("release")) {
                if (w.release.kind != Action::Kind::None) {
                    Fail(*release, what + " has two release actions");
                }
                w.release = ReadAction(*release, "the release of " + what);
            }
            for (const Action* action : {&w.press, &w.release}) {
                if (action->kind == Action::Kind::Write) {
                    checkVariable(action->variable, w.line, what);
                }
            }
        } else {
            const toml::node* variable = f.take("variable");
            if (variable != nullptr) {
                w.variable = AsText(*variable, "the variable of " + what);
                checkVariable(w.variable, LineOf(*variable), what);
            } else if (w.cls == WidgetClass::CheckBox) {
                Fail(w.line, what + " needs the 'variable' it switches");
            }
        }
        if (w.cls == WidgetClass::CheckBox && (style & kAppDrawn) != 0) {
            w.objectList = static_cast<int>(
                AsWhole(f.need("object_list"), "the picture table's number", 1, 99999));
            w.group = static_cast<int>(AsWhole(f.need("group"), "the group number", 1, 99999));
            w.picture = static_cast<int>(AsWhole(f.need("picture"), "the picture number", 1, 99999));
            const toml::node& states = f.need("states");
            const toml::array& list = AsArray(states, "the states of " + what);
            if (list.size() != 2) {
                Fail(states, what + " needs two states' images (unticked, ticked)");
            }
            for (size_t k = 0; k < 2; ++k) {
                w.states[k] = AsText(*list.get(k), "a state's image");
                imageUses_.push_back({w.states[k], LineOf(*list.get(k))});
            }
        } else if (w.cls == WidgetClass::CheckBox) {
            for (const char* key : {"object_list", "states"}) {
                if (const toml::node* n = f.take(key)) {
                    Fail(*n, "'" + std::string(key) + "' belongs to a hand-drawn check box "
                                                      "(style app_drawn)");
                }
            }
        }
        for (const std::string* image : {&w.look.image, &w.look.pressedImage}) {
            if (!image->empty()) {
                imageUses_.push_back({*image, w.line});
            }
        }
        own.done();
        (void)screen;
        return w;
    }

    Screen readScreen(const toml::node& node, Project& project) {
        const toml::table& table = AsTable(node, "[[screen]]");
        Screen screen;
        screen.line = LineOf(node);
        const toml::node* numberNode = table.get("number");
        if (numberNode == nullptr) {
            Fail(node, "a screen needs its 'number'");
        }
        const toml::node& number = *numberNode;
        screen.number = static_cast<int>(AsWhole(number, "a screen's number", 1, 99));
        const int expected = static_cast<int>(project.screens.size()) + 1;
        if (screen.number != expected) {
            Fail(number, "screen " + std::to_string(screen.number) + " where screen " +
                             std::to_string(expected) + " is due: screens are numbered 1, 2, ... "
                             "in order");
        }
        const std::string what = "screen " + std::to_string(screen.number);
        Fields f(table, what);
        (void)f.take("number");
        const toml::node& name = f.need("name");
        screen.name = AsText(name, "a frame's name");
        if (!IsIdentifier(screen.name)) {
            Fail(name, "frame name '" + screen.name + "' must be one word");
        }
        for (const Screen& other : project.screens) {
            if (other.name == screen.name) {
                Fail(name, "frame name '" + screen.name + "' is used twice (screen " +
                               std::to_string(other.number) + ")");
            }
        }
        const toml::node& paint = f.need("paint");
        screen.paint = static_cast<int>(AsWhole(paint, "a screen's paint number", 1, 99999));
        for (const Screen& other : project.screens) {
            if (other.paint == screen.paint) {
                Fail(paint, "paint number " + std::to_string(screen.paint) +
                                " is used twice (screen " + std::to_string(other.number) + ")");
            }
        }
        if (const toml::node* about = f.take("about")) {
            screen.about = AsText(*about, "about");
        }
        if (const toml::node* vector = f.take("vector")) {
            readSteps(*vector, screen.vector, 0);
        }
        for (const Step& step : screen.vector) {
            if (step.kind == Step::Kind::Picture) {
                imageUses_.push_back({step.image, step.line});
            }
        }
        if (const toml::node* empty = f.take("empty_bindings")) {
            for (const toml::node& variable : AsArray(*empty, "empty_bindings")) {
                screen.emptyBindings.push_back(AsText(variable, "a variable"));
                checkVariable(screen.emptyBindings.back(), LineOf(variable), what);
            }
        }
        if (const toml::node* widgets = f.take("widgets")) {
            for (const toml::node& entry : AsArray(*widgets, "the widgets of " + what)) {
                screen.widgets.push_back(readWidget(entry, screen));
            }
        }
        f.done();
        return screen;
    }

    void checkVariable(const std::string& name, int line, const std::string& what) {
        if (variables_.count(name) == 0) {
            Fail(line, what + " names the variable '" + name + "', which does not exist");
        }
    }

    void crossCheck(Project& project) {
        std::map<int, std::pair<std::string, int>> numbers;
        std::map<int, int> objectLists;
        std::map<int, std::pair<std::string, int>> pictureNumbers;
        std::map<std::string, int> frames;
        for (const Screen& screen : project.screens) {
            frames[screen.name] = screen.number;
        }
        std::map<std::string, int> shownOn;  // variable: the screen whose display it has
        for (Screen& screen : project.screens) {
            std::map<std::string, int> shown;
            int labels = 0;
            for (const Widget& w : screen.widgets) {
                if (const auto twice = numbers.find(w.number); twice != numbers.end()) {
                    Fail(w.line, "widget number " + std::to_string(w.number) +
                                     " is used twice (" + twice->second.first + " on line " +
                                     std::to_string(twice->second.second) + ")");
                }
                numbers[w.number] = {w.name(), w.line};
                if (w.cls == WidgetClass::PushButton && w.release.kind == Action::Kind::Goto &&
                    frames.count(w.release.frame) == 0) {
                    Fail(w.release.line,
                         w.name() + " goes to the frame '" + w.release.frame +
                             "', which no screen is");
                }
                const bool displays =
                    !w.variable.empty() &&
                    (w.cls == WidgetClass::Label || (w.look.style & kAppDrawn) != 0);
                if (displays) {
                    if (const auto twice = shown.find(w.variable); twice != shown.end()) {
                        Fail(w.line, w.name() + " shows " + w.variable +
                                         ", which the widget on line " +
                                         std::to_string(twice->second) + " shows already");
                    }
                    shown[w.variable] = w.line;
                    labels += w.cls == WidgetClass::Label ? 1 : 0;
                }
                if (w.objectList != 0) {
                    if (const auto twice = objectLists.find(w.objectList);
                        twice != objectLists.end()) {
                        Fail(w.line, "picture table number " + std::to_string(w.objectList) +
                                         " is used twice (line " + std::to_string(twice->second) +
                                         ")");
                    }
                    objectLists[w.objectList] = w.line;
                }
            }
            if (labels > kMaxBoundLabels) {
                Fail(screen.line,
                     "screen " + std::to_string(screen.number) + " shows " +
                         std::to_string(labels) + " labels: with a touch, one control cycle's "
                         "paints would overflow the " + std::to_string(kQueueEntries) +
                         "-entry message queue (at most " + std::to_string(kMaxBoundLabels) + ")");
            }
            for (const std::string& variable : screen.emptyBindings) {
                if (shown.count(variable) != 0) {
                    Fail(screen.line, "screen " + std::to_string(screen.number) + " binds " +
                                          variable + " twice (a widget shows it)");
                }
                shown[variable] = screen.line;
            }
            // Each variable has one display procedure, display_<variable>, in one screen module.
            for (const auto& [variable, line] : shown) {
                if (const auto other = shownOn.find(variable); other != shownOn.end()) {
                    Fail(line, variable + " is shown on screen " + std::to_string(other->second) +
                                   " already (its display_" + variable + " belongs to one screen)");
                }
                shownOn[variable] = screen.number;
            }
            for (const Step& step : screen.vector) {
                if (step.kind != Step::Kind::Picture) {
                    continue;
                }
                const auto twice = pictureNumbers.find(step.picture);
                if (twice != pictureNumbers.end() && twice->second.first != step.image) {
                    Fail(step.line, "picture number " + std::to_string(step.picture) +
                                        " stands for " + twice->second.first + " on line " +
                                        std::to_string(twice->second.second));
                }
                pictureNumbers[step.picture] = {step.image, step.line};
            }
        }
        for (const auto& [image, line] : imageUses_) {
            if (project.image(image) == nullptr) {
                Fail(line, "no picture '" + image + "' in [pictures]");
            }
        }
    }

    std::string file_;
    std::map<std::string, int> variables_;
    std::map<std::string, Kind> kinds_;
    std::map<std::string, const toml::node*> stepGroups_;
    std::vector<std::pair<std::string, int>> imageUses_;
};

}  // namespace

std::string Widget::name() const {
    switch (cls) {
        case WidgetClass::PushButton:
            return "TextPushButton" + std::to_string(number);
        case WidgetClass::Label:
            return "Label" + std::to_string(number);
        case WidgetClass::CheckBox:
            return "CheckBox" + std::to_string(number);
    }
    return "";
}

const Image* Project::image(const std::string& name) const {
    for (const Image& image : images) {
        if (image.name == name) {
            return &image;
        }
    }
    return nullptr;
}

bool Project::hasVariable(const std::string& name) const {
    for (const Register& reg : device.registers) {
        if (reg.variable == name) {
            return true;
        }
    }
    for (const char* own : kDeviceVariables) {
        if (name == own) {
            return true;
        }
    }
    return std::any_of(locals.begin(), locals.end(),
                       [&](const Local& local) { return local.name == name; });
}

std::optional<int> TextWidth(const std::string& font, const std::string& text) {
    const FontRecord* record = FontNamed(font);
    if (record == nullptr) {
        return std::nullopt;
    }
    int width = 0;
    for (const char c : text) {
        const auto code = static_cast<uint8_t>(c >= 32 && c <= 126 ? c : '.');
        width += record->data[record->offset[code - 32] + 1];
    }
    return width;
}

Project Read(const std::string& file) {
    return Reader(file).read();
}

}  // namespace projgen
