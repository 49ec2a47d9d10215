#include "emit.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "command_line.hpp"
#include "image_codec.hpp"

namespace projgen {

namespace {

constexpr size_t kColumns = 100;

std::string Hex6(uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%06X", colour);
    return text;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string RectText(const std::array<int, 4>& at) {
    return "{" + std::to_string(at[0]) + ", " + std::to_string(at[1]) + ", " +
           std::to_string(at[2]) + ", " + std::to_string(at[3]) + "}";
}

std::string FontSymbol(const std::string& font) {
    if (font.empty()) {
        return "nullptr";
    }
    return font == "cm12" ? "&g_sFontCm12" : font == "cm14" ? "&g_sFontCm14" : "&g_sFontCm14b";
}

std::string ImageSymbol(const std::string& image) {
    return image.empty() ? "nullptr" : image;
}

std::string FormatName(uint8_t format) {
    if (format == imagegen::kDirect16) {
        return "16 bpp";
    }
    std::string name = std::to_string(imagegen::BitsPerPixel(format)) + " bpp";
    return (format & imagegen::kCompressed) != 0 ? name + " compressed" : name;
}

std::string Number(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof(text), value);
    std::string number(text, result.ptr);
    return number.find_first_of(".e") == std::string::npos ? number + ".0" : number;
}

// Lines with trailing comments, the comments of consecutive lines lined up.
class Commented {
  public:
    void add(std::string code, std::string comment) {
        lines_.emplace_back(std::move(code), std::move(comment));
    }
    std::string text() const {
        size_t width = 0;
        for (const auto& [code, comment] : lines_) {
            if (!comment.empty()) {
                width = std::max(width, code.size());
            }
        }
        std::string out;
        for (const auto& [code, comment] : lines_) {
            out += code;
            if (!comment.empty()) {
                out += std::string(width - code.size() + 2, ' ') + "// " + comment;
            }
            out += "\n";
        }
        return out;
    }

  private:
    std::vector<std::pair<std::string, std::string>> lines_;
};

// The items of an initialiser, as many to a line as fit, each line indented by four.
std::string Filled(const std::vector<std::string>& items) {
    std::string out;
    std::string line = "   ";
    for (const std::string& item : items) {
        if (line.size() + 1 + item.size() + 1 > kColumns) {
            out += line + "\n";
            line = "   ";
        }
        line += " " + item + ",";
    }
    return out + line + "\n";
}

// Splits an argument list at its top-level commas (not those inside braces or quotes).
std::vector<std::string> Arguments(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            item += c;
            if (c == '\\' && i + 1 < text.size()) {
                item += text[++i];
            } else if (c == '"') {
                quoted = false;
            }
            continue;
        }
        if (c == ',' && depth == 0) {
            items.push_back(item);
            item.clear();
            while (i + 1 < text.size() && text[i + 1] == ' ') {
                ++i;
            }
            continue;
        }
        quoted = c == '"';
        depth += c == '{' || c == '(' ? 1 : c == '}' || c == ')' ? -1 : 0;
        item += c;
    }
    items.push_back(item);
    return items;
}

// head + arguments + tail on one line when it fits; otherwise the arguments on the lines after,
// indented by four, as many to a line as fit.
std::string Statement(const std::string& head, const std::string& arguments,
                      const std::string& tail) {
    const std::string one = head + arguments + tail;
    if (one.size() <= kColumns) {
        return one + "\n";
    }
    std::string out = head;
    std::string line = "   ";
    const std::vector<std::string> items = Arguments(arguments);
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string item = items[i] + (i + 1 < items.size() ? "," : tail);
        if (line.size() > 3 && line.size() + 1 + item.size() > kColumns) {
            out += "\n" + line;
            line = "   ";
        }
        line += " " + item;
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out + "\n" + line + "\n";
}

std::string StyleText(WidgetClass cls, uint32_t style) {
    static const std::vector<std::pair<uint32_t, const char*>> button = {
        {0x01, "PB_OUTLINE"},  {0x02, "PB_FILL"},        {0x04, "PB_TEXT"},
        {0x08, "PB_IMAGE"},    {0x10, "PB_TEXT_OPAQUE"}, {0x20, "PB_AUTO_REPEAT"},
        {0x80, "PB_NO_PRESS_CLICK"}};
    static const std::vector<std::pair<uint32_t, const char*>> label = {
        {0x001, "CANVAS_OUTLINE"},     {0x002, "CANVAS_FILL"},       {0x004, "CANVAS_TEXT"},
        {0x008, "CANVAS_IMAGE"},       {0x020, "CANVAS_TEXT_OPAQUE"}, {0x040, "CANVAS_TEXT_LEFT"},
        {0x080, "CANVAS_TEXT_RIGHT"},  {0x100, "CANVAS_TEXT_TOP"},   {0x200, "CANVAS_TEXT_BOTTOM"}};
    static const std::vector<std::pair<uint32_t, const char*>> box = {
        {0x01, "CB_OUTLINE"}, {0x02, "CB_FILL"},        {0x04, "CB_TEXT"},
        {0x08, "CB_IMAGE"},   {0x10, "CB_TEXT_OPAQUE"}, {0x40, "CB_APP_DRAWN"}};
    const auto& names = cls == WidgetClass::PushButton ? button
                        : cls == WidgetClass::Label    ? label
                                                       : box;
    std::string text;
    for (const auto& [bit, name] : names) {
        if ((style & bit) != 0) {
            text += (text.empty() ? "" : " | ") + std::string(name);
        }
    }
    return text.empty() ? "0" : text;
}

std::string LookType(WidgetClass cls) {
    return cls == WidgetClass::PushButton ? "ButtonLook"
           : cls == WidgetClass::Label    ? "LabelLook"
                                          : "CheckBoxLook";
}

std::string LookInitialiser(const Widget& w) {
    const Look& l = w.look;
    std::vector<std::string> fields = {StyleText(w.cls, l.style)};
    if (w.cls == WidgetClass::CheckBox) {
        fields.push_back(std::to_string(l.boxSize));
    }
    fields.push_back(Hex6(l.fill));
    if (w.cls == WidgetClass::PushButton) {
        fields.push_back(Hex6(l.pressedFill));
    }
    fields.push_back(Hex6(l.outline));
    fields.push_back(Hex6(l.textColour));
    fields.push_back(FontSymbol(l.font));
    fields.push_back(ImageSymbol(l.image));
    if (w.cls == WidgetClass::PushButton) {
        fields.push_back(ImageSymbol(l.pressedImage));
        fields.push_back(std::to_string(l.repeatDelay));
        fields.push_back(std::to_string(l.repeatRate));
    }
    std::string text;
    for (const std::string& field : fields) {
        text += (text.empty() ? "" : ", ") + field;
    }
    return text;
}

// kNavigationLook for a kind, kTextPushButton71Look for a widget's own.
std::string LookName(const Widget& w) {
    std::string base = w.kind;
    if (base.empty() || w.ownLook) {
        base = w.name();
    }
    std::string name = "k";
    bool upper = true;
    for (const char c : base) {
        if (c == '_' || c == '-') {
            upper = true;
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return name + "Look";
}

std::string RecordType(WidgetClass cls) {
    return cls == WidgetClass::PushButton ? "PushButtonRecord"
           : cls == WidgetClass::Label    ? "CanvasRecord"
                                          : "CheckBoxRecord";
}

bool HandDrawn(const Widget& w) {
    return w.cls == WidgetClass::CheckBox && (w.look.style & 0x40) != 0;
}

// A variable a widget of the screen shows while the screen is current, and how.
struct Binding {
    enum class Kind { Label, HandDrawn, Empty } kind;
    std::string variable;
    const Widget* widget;
};

class Emitter {
  public:
    Emitter(const Project& project, const std::string& command)
        : p_(project), head_(FirstLine(project) + gensource::CommandComment(command)) {}

    std::vector<GeneratedFile> all() {
        std::vector<GeneratedFile> files;
        const auto firmware = [&](const std::string& name, std::string text) {
            files.push_back({p_.sources, name, std::move(text)});
        };
        firmware("_frame0.hpp", frame0Header());
        firmware("_frame0.cpp", frame0Source());
        for (const Screen& screen : p_.screens) {
            firmware("_frame" + std::to_string(screen.number) + ".hpp", screenHeader(screen));
            firmware("_frame" + std::to_string(screen.number) + ".cpp", screenSource(screen));
        }
        firmware("_dict.hpp", dictHeader());
        firmware("_dict.cpp", dictSource());
        firmware("pictures.hpp", picturesHeader());
        if (std::any_of(p_.images.begin(), p_.images.end(),
                        [](const Image& image) { return !image.artwork; })) {
            firmware("_pictures.cpp", picturesSource());
        }
        files.push_back({p_.hostFolder, "module_registers.hpp", registerMap()});
        files.push_back({p_.hostFolder, "project_variables.hpp", variableTable()});
        return files;
    }

  private:
    const Device& device() const { return p_.device; }

    std::string blockText() const {
        const Device& d = device();
        return d.count == 1 ? "register " + std::to_string(d.first)
                            : "registers " + std::to_string(d.first) + "-" +
                                  std::to_string(d.first + d.count - 1);
    }
    std::string mirrorsText() const {
        const Device& d = device();
        return d.count == 1 ? "Dev_1_AO0"
                            : "Dev_1_AO0 ... Dev_1_AO" + std::to_string(d.count - 1);
    }
    size_t tableSize() const { return device().registers.size() + 6 + p_.locals.size(); }

    std::string frame0Header() const {
        std::ostringstream out;
        out << head_
            << "// Project start, tick trigger, control cycle and the frame manager of the "
               "generated project.\n"
               "#pragma once\n\n"
               "#include <cstdint>\n\n"
               "#include \"widgets/widget.hpp\"\n\n"
               "extern uint32_t g_TimerTicksCount;  // written and read by the tick handler only\n"
               "extern volatile uint32_t table_init_flag;\n"
               "extern uint32_t Dev_1;\n\n"
               "void _frame0();\n"
               "void hmi_TimerTrigger();\n"
               "uint32_t default_timer_proc(WidgetRecord* widget, uint32_t message, uint32_t "
               "param1,\n"
               "                            uint32_t param2);\n"
               "// One Modbus exchange with the remote module; 1 when it failed, 0 otherwise.\n"
               "uint32_t polling_Dev_1();\n\n"
            << "// Frame manager. Frames are numbered 1.." << p_.screens.size()
            << "; 0 means none.\n"
            << "constexpr uint32_t kFrameCount = " << p_.screens.size() << ";\n"
            << "extern const char* const g_FrameNames[kFrameCount];\n"
               "extern uint32_t _CurrentFrame;\n\n"
               "// Number of the frame with exactly this name, 0 if none.\n"
               "uint32_t hmi_IndexOfFrame(const char* name);\n"
               "// Delivers pending paints, drops every other pending message, then enters the "
               "frame (1.."
            << p_.screens.size()
            << ").\n"
               "void hmi_GotoFrame(uint32_t frame);\n"
               "void hmi_GotoFrameByName(const char* name);\n"
               "void FreeCurrentFrame();\n";
        return out.str();
    }

    std::string frame0Source() const {
        const Device& d = device();
        std::ostringstream out;
        out << head_ << "#include \"project/_frame0.hpp\"\n\n"
            << "#include <cstring>\n\n"
            << "#include \"display/hmi_Init.hpp\"\n"
               "#include \"graphics/context.hpp\"\n"
               "#include \"link/hmi_uart.hpp\"\n"
               "#include \"link/mbrtum.hpp\"\n"
               "#include \"project/_dict.hpp\"\n";
        for (const Screen& screen : p_.screens) {
            out << "#include \"project/_frame" << screen.number << ".hpp\"\n";
        }
        out << "#include \"project/ladder.hpp\"\n"
               "#include \"project/ladder2c.hpp\"\n"
               "#include \"vars/pvar.hpp\"\n"
               "#include \"widgets/widget.hpp\"\n\n"
               "uint32_t g_TimerTicksCount = 0;\n"
               "volatile uint32_t table_init_flag = 0;\n"
               "uint32_t Dev_1 = 0;\n\n"
               "namespace {\n"
               "constexpr uint32_t kTicksPerControlCycle = 10;\n\n"
            << "// The remote module: slave " << d.slave << ", holding " << blockText()
            << " mirrored in " << mirrorsText() << ".\n"
            << "constexpr uint8_t kDev1Slave = " << d.slave << ";\n"
            << "constexpr uint16_t kDev1FirstRegister = " << d.first << ";\n"
            << "constexpr uint8_t kReadHoldingRegisters = 3;\n"
            << "constexpr int32_t kDev1RegisterCount = " << d.count << ";\n"
            << "constexpr VarRecord* kDev1Block[kDev1RegisterCount] = {\n";
        std::vector<std::string> block;
        for (const Register& reg : d.registers) {
            block.push_back("&" + reg.variable);
        }
        out << Filled(block) << "};\n"
            << "}  // namespace\n\n"
            << "void _frame0() {\n"
            << "    Dev_1 = uart_Open(" << Quoted(d.serial.text) << ");\n"
            << "    RegisterNullWidgetMsgProc(default_timer_proc);\n"
               "    DrawContext context{};\n"
               "    GrContextInit(&context, &g_sDisplayDriverROM);\n"
               "    hmi_GotoFrame(1);\n"
               "    context.display->Flush(context.display->displayData);\n"
               "}\n\n"
               "void hmi_TimerTrigger() {\n"
               "    const uint32_t count = g_TimerTicksCount + 1;\n"
               "    g_TimerTicksCount = count;\n"
               "    if (table_init_flag != 0 && count % kTicksPerControlCycle == 0) {\n"
               "        WidgetMessageQueueAdd(nullptr, MSG_CHECK_IO, 0, 0, 0, 0);\n"
               "    }\n"
               "}\n\n"
               "// The 100 ms control cycle, run by the main loop as the null-widget procedure.\n"
               "uint32_t default_timer_proc(WidgetRecord*, uint32_t, uint32_t, uint32_t) {\n"
               "    (void)ladder_main(1);\n"
               "    (void)default_output(1);\n"
               "    const uint32_t failed = polling_Dev_1();\n"
               "    var_set(&Dev_1_ERROR, failed != 0 ? 1 : 0);\n"
               "    (void)default_input(1);\n"
               "    return 1;\n"
               "}\n\n"
               "// One exchange with the remote module: the whole block is written when the "
               "operator changed any\n"
               "// register since the last write, otherwise it is read. 1 when the exchange "
               "failed, else 0.\n"
               "uint32_t polling_Dev_1() {\n"
               "    if (Dev_1_ENABLE_DEVICE.value == 0) {\n"
               "        return 0;\n"
               "    }\n"
               "    __UNDEFINED__.value = 0;\n"
               "    uint16_t block[kDev1RegisterCount] = {};\n\n"
               "    if (Dev_1_ENABLE_AO.value != 0 && Dev_1_W_ACTION.value != 0) {\n"
               "        // Every write mark is consumed here, whether or not the write then "
               "succeeds.\n"
               "        uint32_t changed = 0;\n"
               "        for (int32_t i = 0; i < kDev1RegisterCount; ++i) {\n"
               "            changed += var_flag_is_write(kDev1Block[i]);\n"
               "            block[i] = static_cast<uint16_t>(kDev1Block[i]->value);\n"
               "        }\n"
               "        if (changed != 0) {\n"
               "            const uint32_t written =\n"
               "                mrm_WriteAO(Dev_1, kDev1Slave, kDev1FirstRegister, "
               "kDev1RegisterCount, block);\n"
               "            return written == 1 ? 0 : 1;\n"
               "        }\n"
               "    }\n\n"
               "    for (auto& word : block) {\n"
               "        word = 0;\n"
               "    }\n"
               "    if (Dev_1_ENABLE_AO.value == 0 || Dev_1_R_ACTION.value == 0) {\n"
               "        return 0;\n"
               "    }\n"
               "    if (mrm_ReadAIO(Dev_1, kDev1Slave, kReadHoldingRegisters, kDev1FirstRegister,\n"
               "                    kDev1RegisterCount, block) == 0) {\n"
               "        return 1;\n"
               "    }\n"
               "    for (int32_t i = 0; i < kDev1RegisterCount; ++i) {\n"
               "        var_set(kDev1Block[i], block[i]);\n"
               "    }\n"
               "    return 0;\n"
               "}\n\n";
        std::vector<std::string> names;
        for (const Screen& screen : p_.screens) {
            names.push_back(Quoted(screen.name));
        }
        std::string list;
        for (const std::string& name : names) {
            list += (list.empty() ? "" : ", ") + name;
        }
        out << Statement("const char* const g_FrameNames[kFrameCount] = {", list, "};")
            << "uint32_t _CurrentFrame = 0;\n\n"
               "uint32_t hmi_IndexOfFrame(const char* name) {\n"
               "    if (name == nullptr) {\n"
               "        return 0;\n"
               "    }\n"
               "    for (uint32_t i = 0; i < kFrameCount; ++i) {\n"
               "        if (std::strcmp(name, g_FrameNames[i]) == 0) {\n"
               "            return i + 1;\n"
               "        }\n"
               "    }\n"
               "    return 0;\n"
               "}\n\n"
               "void hmi_GotoFrame(uint32_t frame) {\n"
               "    // Touches that arrived for the old screen must not act on the new one; its "
               "paints may run.\n"
               "    WidgetMessageQueueProcessEx(MSG_PAINT);\n"
               "    switch (frame) {\n";
        for (const Screen& screen : p_.screens) {
            out << "        case " << screen.number << ":\n"
                << "            _frame" << screen.number << "();\n"
                << "            break;\n";
        }
        out << "        default:\n"
               "            break;\n"
               "    }\n"
               "}\n\n"
               "void hmi_GotoFrameByName(const char* name) {\n"
               "    hmi_GotoFrame(hmi_IndexOfFrame(name));\n"
               "}\n\n"
               "void FreeCurrentFrame() {\n"
               "    switch (_CurrentFrame) {\n";
        for (const Screen& screen : p_.screens) {
            out << "        case " << screen.number << ":\n"
                << "            FreeWidget" << screen.number << "();\n"
                << "            break;\n";
        }
        out << "        default:\n"
               "            break;\n"
               "    }\n"
               "}\n";
        return out.str();
    }

    std::string dictHeader() const {
        const Device& d = device();
        std::ostringstream out;
        out << head_ << "// The project's variable dictionary: its " << tableSize()
            << " process variables, in table order, and the table\n"
               "// that generic passes walk.\n"
               "#pragma once\n\n"
               "#include <cstdint>\n\n"
               "#include \"vars/pvar.hpp\"\n\n"
            << "// Mirrors of the remote module's holding " << blockText()
            << " (Dev_1_AOi is register " << d.first << " + i).\n";
        for (const Register& reg : d.registers) {
            out << "extern VarRecord " << reg.variable << ";\n";
        }
        out << "// Internal variables of the panel.\n";
        for (const std::string& name : internalNames()) {
            out << "extern VarRecord " << name << ";\n";
        }
        out << "\n// Outside the table: the poller clears its value on every poll.\n"
               "extern VarRecord __UNDEFINED__;\n\n"
            << "constexpr uint32_t kVarTableSize = " << tableSize() << ";\n"
            << "extern VarRecord* __var_table[kVarTableSize];\n\n"
               "// Number of dictionary entries.\n"
               "uint32_t __var_count();\n"
               "// Sets table_init_flag (releasing the tick's control-cycle requests), then fills "
               "the table.\n"
               "void var_table_init();\n";
        return out.str();
    }

    std::vector<std::string> internalNames() const {
        std::vector<std::string> names = {"Dev_1_ENABLE_AO",     "Dev_1_R_ACTION",
                                          "Dev_1_W_ACTION",      "Dev_1_ERROR",
                                          "Dev_1_ENABLE_DEVICE", "Dev_1_ADDR_BASE"};
        for (const Local& local : p_.locals) {
            names.push_back(local.name);
        }
        return names;
    }

    std::string dictSource() const {
        std::ostringstream out;
        out << head_ << "#include \"project/_dict.hpp\"\n\n"
               "#include \"project/_frame0.hpp\"\n\n"
               "// Remote registers start at 0 in zero-initialised storage.\n";
        for (const Register& reg : device().registers) {
            out << "VarRecord " << reg.variable << ";\n";
        }
        out << "\n// Internal variables carry VAR_FLAG_LOCAL in their initial image.\n";
        // The poller's switches start on; its result and the unused base address at 0.
        const std::vector<std::pair<std::string, int32_t>> own = {
            {"Dev_1_ENABLE_AO", 1}, {"Dev_1_R_ACTION", 1},      {"Dev_1_W_ACTION", 1},
            {"Dev_1_ERROR", 0},     {"Dev_1_ENABLE_DEVICE", 1}, {"Dev_1_ADDR_BASE", 0}};
        std::vector<std::pair<std::string, int32_t>> internal = own;
        for (const Local& local : p_.locals) {
            internal.emplace_back(local.name, local.initial);
        }
        for (const auto& [name, initial] : internal) {
            out << "VarRecord " << name << " = {" << initial
                << ", 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};\n";
        }
        out << "\nVarRecord __UNDEFINED__;\n\n"
               "VarRecord* __var_table[kVarTableSize];\n\n"
               "namespace {\n"
               "constexpr VarRecord* kDictionary[kVarTableSize] = {\n";
        std::vector<std::string> entries;
        for (const Register& reg : device().registers) {
            entries.push_back("&" + reg.variable);
        }
        for (const auto& [name, initial] : internal) {
            entries.push_back("&" + name);
        }
        out << Filled(entries)
            << "};\n"
               "}  // namespace\n\n"
               "uint32_t __var_count() {\n"
               "    return kVarTableSize;\n"
               "}\n\n"
               "void var_table_init() {\n"
               "    table_init_flag = 1;\n"
               "    for (uint32_t i = 0; i < kVarTableSize; ++i) {\n"
               "        __var_table[i] = kDictionary[i];\n"
               "    }\n"
               "}\n";
        return out.str();
    }

    // The names the screens draw pictures by, each standing for one record.
    std::vector<std::pair<std::string, std::string>> aliases() const {
        std::vector<std::pair<std::string, std::string>> list;
        std::set<std::string> seen;
        const auto add = [&](const std::string& alias, const std::string& image) {
            if (seen.insert(alias).second) {
                list.emplace_back(alias, image);
            }
        };
        for (const Screen& screen : p_.screens) {
            for (const Step& step : screen.vector) {
                if (step.kind == Step::Kind::Picture) {
                    add("pucImage_Picture" + std::to_string(step.picture), step.image);
                }
            }
        }
        for (const Screen& screen : p_.screens) {
            for (const Widget& w : screen.widgets) {
                if (HandDrawn(w)) {
                    for (int k = 0; k < 2; ++k) {
                        add(StatePicture(w, k), w.states[static_cast<size_t>(k)]);
                    }
                }
            }
        }
        return list;
    }

    static std::string StatePicture(const Widget& w, int state) {
        return "ObjectList" + std::to_string(w.objectList) + "_" + std::to_string(state) +
               "_pucImage_Picture" + std::to_string(w.picture);
    }
    static std::string StateRoutine(const Widget& w, int state) {
        return "ObjectList" + std::to_string(w.objectList) + "_" + std::to_string(state) +
               "_renderGroup" + std::to_string(w.group) + "Vector";
    }

    static std::string ImageComment(const Image& image) {
        std::string comment = std::to_string(image.width) + " x " + std::to_string(image.height) +
                              ", " + FormatName(image.format);
        if (image.colours > 0 && image.format != imagegen::kDirect16 &&
            imagegen::BitsPerPixel(image.format) > 1) {
            comment += ", " + std::to_string(image.colours) + " colours";
        }
        if (!image.png.empty()) {
            comment = image.png + ": " + comment;
        }
        return image.about.empty() ? comment : comment + ": " + image.about;
    }

    std::string picturesHeader() const {
        std::ostringstream out;
        out << head_
            << "// The project's pictures, in program memory. Identical pictures share one copy "
               "of their bytes\n"
               "// under the names the screens use.\n"
               "#pragma once\n\n"
               "#include <cstddef>\n"
               "#include <cstdint>\n";
        std::vector<const Image*> plainArt;
        std::vector<const Image*> art16;
        std::vector<const Image*> png;
        for (const Image& image : p_.images) {
            (image.artwork ? (image.format == imagegen::kDirect16 ? art16 : plainArt) : png)
                .push_back(&image);
        }
        if (!plainArt.empty() || !art16.empty()) {
            out << "\n// The artwork (drawn by tools/artgen into pictures_generated.cpp).\n";
            Commented lines;
            for (const Image* image : plainArt) {
                lines.add("extern const uint8_t " + image->name + "[];", ImageComment(*image));
            }
            out << lines.text();
        }
        if (!art16.empty()) {
            const Image& first = *art16.front();
            out << "\n// A 16 bpp record (" << first.width << " x " << first.height
                << ") three bytes into a word: its pixels, five bytes into the record,\n"
                   "// then start on a word boundary. Rows are read a halfword at a time, and "
                   "the processor splits\n"
                   "// a load that is not aligned into two.\n"
                   "struct alignas(4) LampPicture {\n"
                   "    uint8_t lead[3];\n"
                << "    uint8_t record[5 + " << first.width << " * " << first.height
                << " * 2];\n"
                   "};\n"
                   "static_assert((offsetof(LampPicture, record) + 5) % 4 == 0);\n";
            Commented lines;
            for (const Image* image : art16) {
                lines.add("extern const LampPicture " + image->storage + ";", ImageComment(*image));
            }
            out << lines.text();
            for (const Image* image : art16) {
                out << "inline constexpr const uint8_t* " << image->name << " = " << image->storage
                    << ".record;\n";
            }
        }
        if (!png.empty()) {
            out << "\n// Made from PNG files (by tools/projgen into _pictures.cpp).\n";
            for (const Image* image : png) {
                out << "// " << ImageComment(*image) << ".\n"
                    << "extern const uint8_t " << image->name << "[];\n";
            }
        }
        const auto list = aliases();
        if (!list.empty()) {
            out << "\n// The pictures under the names the screens draw them by.\n";
            for (const auto& [alias, image] : list) {
                out << Statement("inline constexpr const uint8_t* " + alias + " = ", image, ";");
            }
        }
        return out.str();
    }

    std::string picturesSource() const {
        std::ostringstream out;
        out << head_ << "#include \"project/pictures.hpp\"\n";
        for (const Image& image : p_.images) {
            if (image.artwork) {
                continue;
            }
            out << "\n// " << ImageComment(image) << ".\n"
                << "const uint8_t " << image.name << "[" << image.record.size() << "] = {"
                << imagegen::ByteRows(image.record) << "\n};\n";
        }
        return out.str();
    }

    static std::vector<Binding> BindingsOf(const Screen& screen, const Project& project) {
        std::vector<Binding> bindings;
        for (const Widget& w : screen.widgets) {
            if (w.cls == WidgetClass::Label && !w.variable.empty()) {
                bindings.push_back({Binding::Kind::Label, w.variable, &w});
            } else if (HandDrawn(w)) {
                bindings.push_back({Binding::Kind::HandDrawn, w.variable, &w});
            }
        }
        for (const std::string& variable : screen.emptyBindings) {
            bindings.push_back({Binding::Kind::Empty, variable, nullptr});
        }
        // In the dictionary's order.
        std::vector<std::string> order;
        for (const Register& reg : project.device.registers) {
            order.push_back(reg.variable);
        }
        for (const char* name : {"Dev_1_ENABLE_AO", "Dev_1_R_ACTION", "Dev_1_W_ACTION",
                                 "Dev_1_ERROR", "Dev_1_ENABLE_DEVICE", "Dev_1_ADDR_BASE"}) {
            order.emplace_back(name);
        }
        for (const Local& local : project.locals) {
            order.push_back(local.name);
        }
        const auto rank = [&](const std::string& name) {
            return std::find(order.begin(), order.end(), name) - order.begin();
        };
        std::stable_sort(bindings.begin(), bindings.end(), [&](const Binding& a, const Binding& b) {
            return rank(a.variable) < rank(b.variable);
        });
        return bindings;
    }

    std::string registerTool(const std::string& variable) const {
        for (const Register& reg : device().registers) {
            if (reg.variable == variable) {
                return reg.tool;
            }
        }
        return "";
    }

    std::string widgetComment(const Widget& w) const {
        std::string comment;
        if (w.cls == WidgetClass::PushButton || (w.cls == WidgetClass::CheckBox && !HandDrawn(w))) {
            comment = (w.look.style & 0x04) != 0 ? Quoted(w.text) : "";
        }
        if (!w.variable.empty()) {
            const std::string tool = registerTool(w.variable);
            comment += (comment.empty() ? "" : ", ") + w.variable +
                       (tool.empty() ? "" : " (" + tool + ")");
        }
        for (const Action* action : {&w.press, &w.release}) {
            if (action->kind == Action::Kind::Write && comment.find(action->variable) ==
                                                           std::string::npos) {
                comment += (comment.empty() ? "" : ", ") + action->variable;
            }
        }
        return comment;
    }

    std::string screenHeader(const Screen& s) const {
        const std::string n = std::to_string(s.number);
        const std::vector<Binding> bindings = BindingsOf(s, p_);
        bool boxes = false;
        bool buttons = false;
        bool handDrawn = false;
        for (const Widget& w : s.widgets) {
            boxes = boxes || w.cls == WidgetClass::CheckBox;
            buttons = buttons || w.cls == WidgetClass::PushButton;
            handDrawn = handDrawn || HandDrawn(w);
        }
        std::ostringstream out;
        out << head_ << "// Screen module " << n << " (" << s.name << ")"
            << (s.about.empty() ? "." : ": " + s.about) << "\n"
            << "#pragma once\n\n"
               "#include <cstdint>\n\n"
               "#include \"graphics/context.hpp\"\n";
        if (handDrawn) {
            out << "#include \"project/screen_kit.hpp\"\n";
        }
        if (!bindings.empty()) {
            out << "#include \"vars/pvar.hpp\"\n";
        }
        out << "#include \"widgets/canvas.hpp\"\n";
        if (boxes) {
            out << "#include \"widgets/checkbox.hpp\"\n";
        }
        if (buttons) {
            out << "#include \"widgets/pushbutton.hpp\"\n";
        }
        out << "\n// Enters screen " << n
            << ": refills the variable table, tears the current screen down, builds this one.\n"
            << "void _frame" << n << "();\n"
            << "void InitWidget" << n << "();\n"
            << "void FreeWidget" << n << "();\n\n";
        Commented records;
        records.add("extern CanvasRecord CanvasFrame" + n + ";", "");
        for (const Widget& w : s.widgets) {
            records.add("extern " + RecordType(w.cls) + " " + w.name() + ";", widgetComment(w));
        }
        out << records.text();
        if (handDrawn) {
            out << "\n// The pictures of each hand-drawn box: entry 0 unticked, entry 1 ticked.\n";
            for (const Widget& w : s.widgets) {
                if (HandDrawn(w)) {
                    out << "extern const screen_kit::VectorRoutine ObjectList" << w.objectList
                        << "[2];\n";
                }
            }
        }
        out << "\nvoid OnFrame" << s.paint << "Paint(WidgetRecord* canvas, DrawContext* context);\n"
            << "void renderFrame" << s.paint
            << "Vector(DrawContext* context, int32_t x, int32_t y);\n";
        for (const Widget& w : s.widgets) {
            if (w.cls == WidgetClass::PushButton) {
                out << "void _On" << w.name() << "Click(WidgetRecord* button);\n"
                    << "void _On" << w.name() << "Release(WidgetRecord* button);\n";
            }
        }
        for (const Widget& w : s.widgets) {
            if (w.cls == WidgetClass::CheckBox) {
                out << "void _On" << w.name()
                    << "CheckChange(WidgetRecord* checkBox, uint32_t state);\n";
            }
        }
        for (const Widget& w : s.widgets) {
            if (HandDrawn(w)) {
                out << "void DrawCheckBox" << w.number
                    << "(WidgetRecord* checkBox, int32_t value);\n";
            }
        }
        for (const Widget& w : s.widgets) {
            if (HandDrawn(w)) {
                for (int k = 0; k < 2; ++k) {
                    out << "void " << StateRoutine(w, k)
                        << "(DrawContext* context, int32_t x, int32_t y);\n";
                }
            }
        }
        for (const Binding& b : bindings) {
            out << "void display_" << b.variable << "(VarRecord* variable);\n";
        }
        return out.str();
    }

    static std::string StepText(const Step& step) {
        const std::string x = std::to_string(step.at[0]);
        const std::string y = std::to_string(step.at[1]);
        switch (step.kind) {
            case Step::Kind::Rect:
                return "FilledRect(" + x + ", " + y + ", " + std::to_string(step.at[2]) + ", " +
                       std::to_string(step.at[3]) + ", " + Hex6(step.colour) + "),";
            case Step::Kind::Picture:
                return "Picture(pucImage_Picture" + std::to_string(step.picture) + ", " + x + ", " +
                       y + "),";
            case Step::Kind::Text:
                return "Text(" + x + ", " + y + ", " + Hex6(step.colour) + ", " +
                       FontSymbol(step.font) + ", " + Quoted(step.text) + "),";
        }
        return "";
    }

    std::string handler(const std::string& name, const std::string& parameter,
                        const Action& action, bool clearPressed) const {
        std::string body;
        if (clearPressed) {
            body += "    ClearPressed(button);\n";
        }
        if (action.kind == Action::Kind::Goto) {
            body += "    hmi_GotoFrameByName(" + Quoted(action.frame) + ");\n";
        } else if (action.kind == Action::Kind::Write) {
            body += "    var_set_write_data(&" + action.variable + ", " +
                    std::to_string(action.value) + ");\n";
        }
        if (body.empty()) {
            return "void " + name + "(WidgetRecord*) {}\n";
        }
        return "void " + name + "(WidgetRecord*" + (clearPressed ? " " + parameter : "") +
               ") {\n" + body + "}\n";
    }

    std::string screenSource(const Screen& s) const {
        const std::string n = std::to_string(s.number);
        const std::string paint = std::to_string(s.paint);
        const std::vector<Binding> bindings = BindingsOf(s, p_);
        std::ostringstream out;
        out << head_ << "#include \"project/_frame" << n << ".hpp\"\n\n";
        bool handDrawn = false;
        for (const Widget& w : s.widgets) {
            handDrawn = handDrawn || HandDrawn(w);
        }
        if (handDrawn) {
            out << "#include \"graphics/image.hpp\"\n";
        }
        out << "#include \"project/_dict.hpp\"\n"
               "#include \"project/_frame0.hpp\"\n"
               "#include \"project/pictures.hpp\"\n"
               "#include \"project/screen_kit.hpp\"\n\n"
               "using namespace screen_kit;\n\n";

        // The looks, one per kind (or per widget that has its own).
        std::vector<std::string> lookNames;
        std::string looks;
        for (const Widget& w : s.widgets) {
            const std::string name = LookName(w);
            if (std::find(lookNames.begin(), lookNames.end(), name) != lookNames.end()) {
                continue;
            }
            lookNames.push_back(name);
            looks += Statement("constexpr " + LookType(w.cls) + " " + name + " = {",
                               LookInitialiser(w), "};");
        }
        if (!looks.empty()) {
            out << "namespace {\n" << looks << "}  // namespace\n\n";
        }

        out << "constinit CanvasRecord CanvasFrame" << n << " = FrameCanvas(OnFrame" << paint
            << "Paint);\n";
        for (const Widget* pointer : DefinitionOrder(s)) {
            const Widget& w = *pointer;
            const std::string head = "constinit " + RecordType(w.cls) + " " + w.name() + " = ";
            std::string arguments = RectText(w.at) + ", " + LookName(w) + ", " + Quoted(w.text);
            std::string call;
            if (w.cls == WidgetClass::PushButton) {
                call = "PushButton(";
                arguments += ", _On" + w.name() + "Click, _On" + w.name() + "Release";
            } else if (w.cls == WidgetClass::Label) {
                call = "Label(";
            } else {
                call = "CheckBox(";
                arguments += ", _On" + w.name() + "CheckChange";
            }
            out << Statement(head + call, arguments, ");");
        }
        if (handDrawn) {
            out << "\n";
            for (const Widget& w : s.widgets) {
                if (HandDrawn(w)) {
                    out << Statement("const VectorRoutine ObjectList" +
                                         std::to_string(w.objectList) + "[2] = {",
                                     StateRoutine(w, 0) + ", " + StateRoutine(w, 1), "};");
                }
            }
        }

        out << "\nnamespace {\n\n";
        bool buffers = false;
        for (const Binding& b : bindings) {
            if (b.kind == Binding::Kind::Label) {
                if (!buffers) {
                    out << "// Each label's text while it shows its variable; kept between "
                           "visits.\n";
                    buffers = true;
                }
                out << "char " << BufferName(*b.widget) << "[kValueTextSize];\n";
            }
        }
        if (buffers) {
            out << "\n";
        }
        out << "constexpr ScreenWidget kWidgets[] = {\n"
            << "    Widget(&CanvasFrame" << n << "),\n";
        for (const Widget& w : s.widgets) {
            if (w.cls == WidgetClass::CheckBox) {
                out << "    BoundCheckBox(&" << w.name() << ", &" << w.variable << "),\n";
            } else {
                out << "    Widget(&" << w.name() << "),\n";
            }
        }
        out << "};\n\n";
        if (!bindings.empty()) {
            out << "constexpr Binding kBindings[] = {\n";
            for (const Binding& b : bindings) {
                out << "    {&" << b.variable << ", display_" << b.variable << "},\n";
            }
            out << "};\n\n";
        }
        if (!s.vector.empty()) {
            out << "constexpr VectorElement kPicture[] = {\n";
            for (const Step& step : s.vector) {
                out << "    " << StepText(step) << "\n";
            }
            out << "};\n\n";
        }
        out << "}  // namespace\n\n"
            << "void _frame" << n << "() {\n"
            << "    var_table_init();\n"
               "    FreeCurrentFrame();\n"
            << "    _CurrentFrame = " << n << ";\n"
            << "    InitWidget" << n << "();\n"
            << "}\n\n";
        if (bindings.empty()) {
            out << "// Screen " << n << " shows no variable.\n";
        }
        out << "void InitWidget" << n << "() {\n"
            << "    AddWidgets(kWidgets);\n"
               "    PaintScreen();\n";
        if (!bindings.empty()) {
            out << "    if (_CurrentFrame == " << n << ") {\n"
                << "        Bind(kBindings);\n"
                   "    }\n";
        }
        out << "}\n\n"
            << "void FreeWidget" << n << "() {\n";
        if (!bindings.empty()) {
            out << "    Unbind(kBindings);\n";
        }
        out << "    RemoveWidgets(kWidgets);\n"
               "}\n\n"
            << "void OnFrame" << paint << "Paint(WidgetRecord*, DrawContext* context) {\n"
            << "    PaintFrame(context, renderFrame" << paint << "Vector);\n"
            << "}\n\n"
            << (s.vector.empty()
                    ? "// Screen " + n + " draws nothing over the white.\nvoid renderFrame" + paint +
                          "Vector(DrawContext*, int32_t, int32_t) {}\n"
                    : "void renderFrame" + paint +
                          "Vector(DrawContext* context, int32_t x, int32_t y) {\n"
                          "    DrawVector(context, x, y, kPicture);\n"
                          "}\n");

        bool first = true;
        for (const Widget& w : s.widgets) {
            if (w.cls != WidgetClass::PushButton) {
                continue;
            }
            out << (first ? "\n" : "");
            first = false;
            out << handler("_On" + w.name() + "Click", "button", w.press, true)
                << handler("_On" + w.name() + "Release", "button", w.release, false);
        }
        first = true;
        for (const Widget& w : s.widgets) {
            if (w.cls != WidgetClass::CheckBox) {
                continue;
            }
            out << (first ? "\n" : "");
            first = false;
            if (HandDrawn(w)) {
                out << "void _On" << w.name()
                    << "CheckChange(WidgetRecord* checkBox, uint32_t state) {\n"
                    << "    HandDrawnChange(checkBox, state, &" << w.variable << ", DrawCheckBox"
                    << w.number << ");\n"
                    << "}\n";
            } else {
                out << "void _On" << w.name() << "CheckChange(WidgetRecord* checkBox, uint32_t) {\n"
                    << "    WriteCheckBoxState(checkBox, &" << w.variable << ");\n"
                    << "}\n";
            }
        }
        first = true;
        for (const Widget& w : s.widgets) {
            if (!HandDrawn(w)) {
                continue;
            }
            out << (first ? "\n" : "");
            first = false;
            out << "void DrawCheckBox" << w.number << "(WidgetRecord* checkBox, int32_t value) {\n"
                << "    DrawStatePicture(checkBox, value, ObjectList" << w.objectList << ");\n"
                << "}\n";
        }
        first = true;
        for (const Widget& w : s.widgets) {
            if (!HandDrawn(w)) {
                continue;
            }
            out << (first ? "\n" : "");
            first = false;
            for (int k = 0; k < 2; ++k) {
                out << "void " << StateRoutine(w, k)
                    << "(DrawContext* context, int32_t x, int32_t y) {\n"
                    << "    hmi_DrawImage(context, " << StatePicture(w, k) << ", x, y);\n"
                    << "}\n";
            }
        }
        if (!bindings.empty()) {
            out << "\n";
        }
        for (const Binding& b : bindings) {
            switch (b.kind) {
                case Binding::Kind::Label:
                    out << "void display_" << b.variable << "(VarRecord*) {\n"
                        << "    ShowValue(&" << b.widget->name() << ", " << BufferName(*b.widget)
                        << ", &" << b.variable << ");\n"
                        << "}\n";
                    break;
                case Binding::Kind::HandDrawn:
                    out << "void display_" << b.variable << "(VarRecord*) {\n"
                        << "    ShowHandDrawn(&" << b.widget->name() << ", &" << b.variable
                        << ", DrawCheckBox" << b.widget->number << ");\n"
                        << "}\n";
                    break;
                case Binding::Kind::Empty:
                    out << "void display_" << b.variable << "(VarRecord*) {}\n";
                    break;
            }
        }
        return out.str();
    }

    // The records in the order the screens have always defined them (which places them in
    // memory): the buttons as added, then the check boxes and the labels each by the variable
    // they show.
    std::vector<const Widget*> DefinitionOrder(const Screen& s) const {
        std::vector<const Widget*> order;
        for (const Widget& w : s.widgets) {
            order.push_back(&w);
        }
        const auto rank = [&](const Widget* w) {
            const int group = w->cls == WidgetClass::PushButton ? 0
                              : w->cls == WidgetClass::CheckBox ? 1
                                                                : 2;
            long variable = 0;
            if (w->cls != WidgetClass::PushButton) {
                variable = static_cast<long>(device().registers.size());
                for (size_t i = 0; i < device().registers.size(); ++i) {
                    if (device().registers[i].variable == w->variable) {
                        variable = static_cast<long>(i);
                    }
                }
            }
            return std::pair<int, long>(group, variable);
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](const Widget* a, const Widget* b) { return rank(a) < rank(b); });
        return order;
    }

    static std::string BufferName(const Widget& w) {
        return "label" + std::to_string(w.number) + "Text";
    }

    std::string registerMap() const {
        const Device& d = device();
        std::ostringstream out;
        out << head_
            << "// The remote module of this project as the host code sees it: its line and its "
               "registers, for\n"
               "// the module model, the bench tool and the web page.\n"
               "#pragma once\n\n"
               "#include \"register_types.hpp\"\n\n"
               "namespace remote_io {\n\n"
            << "inline constexpr Device kDevice = {" << d.slave << ", " << d.first << ", "
            << d.count << ", {" << d.serial.baud << ", '" << d.serial.parity << "', "
            << d.serial.dataBits << ", " << d.serial.stopBits << "}, " << Quoted(d.serial.text)
            << "};\n\n"
            << "inline constexpr Register kRegisters[" << d.count << "] = {\n";
        static const char* const kRoles[] = {"Output",  "DigitalInput", "Counter",
                                             "Analogue", "SmsRequest",  "EmailRequest"};
        for (const Register& reg : d.registers) {
            out << "    {" << reg.address << ", " << Quoted(reg.tool) << ", " << Quoted(reg.variable)
                << ", Role::" << kRoles[static_cast<int>(reg.role)] << ", " << Number(reg.period)
                << "},\n";
        }
        out << "};\n\n"
               "}  // namespace remote_io\n";
        return out.str();
    }

    // The dictionary's variables by name, in table order, for the simulator's view of the host
    // build (the image's are found by its symbols).
    std::string variableTable() const {
        std::ostringstream out;
        out << head_
            << "// The dictionary's variables by name, for the simulator's view of the "
               "host-compiled firmware.\n"
               "#pragma once\n\n"
               "#include \"project/_dict.hpp\"\n\n"
               "namespace project_view {\n\n"
               "struct NamedVariable {\n"
               "    const char* name;\n"
               "    const VarRecord* record;\n"
               "};\n\n"
            << "inline const NamedVariable kVariables[] = {\n";
        std::vector<std::string> names;
        for (const Register& reg : device().registers) {
            names.push_back(reg.variable);
        }
        for (const char* own : {"Dev_1_ENABLE_AO", "Dev_1_R_ACTION", "Dev_1_W_ACTION",
                                "Dev_1_ERROR", "Dev_1_ENABLE_DEVICE", "Dev_1_ADDR_BASE"}) {
            names.emplace_back(own);
        }
        for (const Local& local : p_.locals) {
            names.push_back(local.name);
        }
        for (const std::string& name : names) {
            out << "    {" << Quoted(name) << ", &" << name << "},\n";
        }
        out << "};\n\n"
               "}  // namespace project_view\n";
        return out.str();
    }

    const Project& p_;
    std::string head_;
};

}  // namespace

std::string FirstLine(const Project& project) {
    return "// Generated by tools/projgen from " + project.label +
           ". Do not edit: regenerate with\n";
}

std::vector<GeneratedFile> Generate(const Project& project, const std::string& command) {
    return Emitter(project, command).all();
}

}  // namespace projgen
