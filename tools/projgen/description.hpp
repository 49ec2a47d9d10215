// A panel project as its description file states it: the remote module and its registers, the
// variables, the pictures and the screens with their widgets and drawings. Read() checks it whole;
// a description that Read() returns can be generated.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace projgen {

// A mistake in the description, at a line of it.
struct DescriptionError {
    int line;
    std::string what;
};

enum class Role { Output, DigitalInput, Counter, Analogue, SmsRequest, EmailRequest };

struct Register {
    int address = 0;
    std::string tool;      // the bench's name
    std::string variable;  // Dev_1_AO<index>
    Role role = Role::Output;
    double period = 0;
    int line = 0;
};

struct Serial {
    std::string text;  // as the panel opens the port: "COM0,115200,N,8,1"
    uint32_t baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};

struct Device {
    int slave = 0;
    Serial serial;
    int first = 0;
    int count = 0;
    std::vector<Register> registers;  // block order
};

// An internal variable of the project (beside the device's own).
struct Local {
    std::string name;
    int32_t initial = 0;
    int line = 0;
};

// A picture record: drawn by tools/artgen into the sources' pictures_generated.cpp, or made
// from a PNG file by projgen.
struct Image {
    std::string name;  // the record's name, e.g. g_pucPictureLogo
    bool artwork = false;
    std::string png;  // path as written in the description (relative to it)
    std::string pngPath;  // resolved
    uint8_t format = 0;
    int width = 0;
    int height = 0;
    int colours = 0;      // artwork: its palette size (for the comment)
    std::string storage;  // artwork at 16 bpp: the aligned record holding it
    std::string about;
    std::vector<uint8_t> record;  // PNG pictures: the encoded record
    int line = 0;
};

enum class WidgetClass { PushButton, Label, CheckBox };

// What a push button does on its press or release.
struct Action {
    enum class Kind { None, Goto, Write } kind = Kind::None;
    std::string frame;     // Goto
    std::string variable;  // Write
    int32_t value = 0;
    int line = 0;
};

struct Look {
    uint32_t style = 0;  // the class's style bits
    uint32_t fill = 0;
    uint32_t pressedFill = 0;
    uint32_t outline = 0;
    uint32_t textColour = 0;
    std::string font;  // cm12, cm14, cm14b
    std::string image;
    std::string pressedImage;
    int boxSize = 0;
    int repeatDelay = 0;
    int repeatRate = 0;
    bool operator==(const Look&) const = default;
};

struct Widget {
    WidgetClass cls = WidgetClass::PushButton;
    int number = 0;
    std::string kind;  // the kind whose look it has, if any
    bool ownLook = false;  // its look differs from its kind's
    std::array<int, 4> at{};
    Look look;
    std::string text;
    std::string variable;  // labels and check boxes: the variable shown or switched
    Action press;
    Action release;
    // Hand-drawn check boxes: the picture table ObjectList<objectList>, its routines
    // ObjectList<L>_<k>_renderGroup<group>Vector drawing ObjectList<L>_<k>_pucImage_Picture<picture>.
    int objectList = 0;
    int group = 0;
    int picture = 0;
    std::array<std::string, 2> states;  // image names for unticked and ticked
    int line = 0;

    std::string name() const;  // TextPushButton71, Label11, CheckBox47
};

struct Step {
    enum class Kind { Rect, Picture, Text } kind = Kind::Rect;
    std::array<int, 4> at{};  // Rect: corners; Picture and Text: x, y
    uint32_t colour = 0;
    int picture = 0;  // pucImage_Picture<picture>
    std::string image;
    std::string text;
    std::string font;
    int line = 0;
};

struct Screen {
    int number = 0;
    std::string name;  // the frame's name, e.g. Frame2
    int paint = 0;     // OnFrame<paint>Paint, renderFrame<paint>Vector
    std::string about;
    std::vector<Widget> widgets;  // adding order
    std::vector<Step> vector;
    std::vector<std::string> emptyBindings;
    int line = 0;
};

struct Project {
    std::string file;        // the description's path as given
    std::string label;       // how generated files name it: "demo/project.toml"
    std::string sources;     // folder of the generated firmware sources (ends in "project")
    std::string hostFolder;  // folder of the host's register map (the description's own)
    std::string about;
    Device device;
    std::vector<Local> locals;
    std::vector<Image> images;
    std::vector<Screen> screens;

    const Image* image(const std::string& name) const;
    bool hasVariable(const std::string& name) const;
};

// Reads and checks a description; throws DescriptionError. `file` is the path as given on the
// command line (errors and generated files name it).
Project Read(const std::string& file);

// The width of a text in one of the panel's fonts (cm12, cm14, cm14b), as the firmware measures
// it; nothing for an unknown font.
std::optional<int> TextWidth(const std::string& font, const std::string& text);

}  // namespace projgen
