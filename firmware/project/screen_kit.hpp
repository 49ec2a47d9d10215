// The parts every screen module is made of (tools/projgen generates the modules from a project's
// description): record builders for the widget classes, each from the look its kind shares, the
// vector pictures as tables of drawing steps, and the building, binding and handler steps that
// every screen shares.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/hmi_Init.hpp"
#include "graphics/context.hpp"
#include "graphics/string.hpp"
#include "vars/pvar.hpp"
#include "widgets/canvas.hpp"
#include "widgets/checkbox.hpp"
#include "widgets/pushbutton.hpp"
#include "widgets/widget.hpp"

namespace screen_kit {

constexpr uint32_t kWhite = 0xFFFFFF;

constexpr Rect kWholeScreen = {0, 0, 319, 239};

// ---- Widget records: children of the root, drawn on the one display. ----

constexpr WidgetRecord Header(uint32_t size, Rect position, WidgetMsgProc msgProc) {
    return WidgetRecord{size, &g_sRoot, nullptr, nullptr, &g_sDisplayDriverROM, position, msgProc};
}

// The whole-screen canvas whose application drawing paints the screen's picture.
constexpr CanvasRecord FrameCanvas(CanvasPaintFn paint) {
    return CanvasRecord{Header(sizeof(CanvasRecord), kWholeScreen, CanvasMsgProc),
                        CANVAS_APP_DRAWN,
                        0,
                        0,
                        0,
                        nullptr,
                        nullptr,
                        nullptr,
                        paint};
}

// The look of a push button: what the buttons of one kind share.
struct ButtonLook {
    uint32_t style;
    uint32_t fillColor;
    uint32_t pressedFillColor;
    uint32_t outlineColor;
    uint32_t textColor;
    const FontRecord* font;
    const uint8_t* image;
    const uint8_t* pressedImage;
    uint16_t repeatDelay;
    uint16_t repeatRate;
};
constexpr PushButtonRecord PushButton(Rect position, ButtonLook look, const char* text,
                                      PushButtonFn onClick, PushButtonFn onRelease) {
    return PushButtonRecord{Header(sizeof(PushButtonRecord), position, RectangularButtonMsgProc),
                            look.style,
                            look.fillColor,
                            look.pressedFillColor,
                            look.outlineColor,
                            look.textColor,
                            look.font,
                            text,
                            look.image,
                            look.pressedImage,
                            look.repeatDelay,
                            look.repeatRate,
                            0,
                            onClick,
                            onRelease,
                            0};
}

// A label: a canvas that shows a text (a value, once its variable is shown) or an image.
struct LabelLook {
    uint32_t style;
    uint32_t fillColor;
    uint32_t outlineColor;
    uint32_t textColor;
    const FontRecord* font;
    const uint8_t* image;
};
constexpr CanvasRecord Label(Rect position, LabelLook look, const char* text) {
    return CanvasRecord{Header(sizeof(CanvasRecord), position, CanvasMsgProc),
                        look.style,
                        look.fillColor,
                        look.outlineColor,
                        look.textColor,
                        look.font,
                        text,
                        look.image,
                        nullptr};
}

// A check box drawn by its class, or by its onChange (CB_APP_DRAWN: a picture per state; the
// other style bits and the text are then kept in the record but never drawn).
struct CheckBoxLook {
    uint16_t style;
    uint16_t boxSize;
    uint32_t fillColor;
    uint32_t outlineColor;
    uint32_t textColor;
    const FontRecord* font;
    const uint8_t* image;
};
constexpr CheckBoxRecord CheckBox(Rect position, CheckBoxLook look, const char* text,
                                  CheckBoxChangeFn onChange) {
    return CheckBoxRecord{Header(sizeof(CheckBoxRecord), position, CheckBoxMsgProc),
                          look.style,
                          look.boxSize,
                          look.fillColor,
                          look.outlineColor,
                          look.textColor,
                          look.font,
                          text,
                          look.image,
                          onChange,
                          0};
}

// ---- Building and tearing down a screen. ----

// One widget of a screen, in adding order. A check box bound to a variable takes the
// variable's state right after it is added.
struct ScreenWidget {
    WidgetRecord* widget;
    CheckBoxRecord* checkBox;
    VarRecord* state;
};
constexpr ScreenWidget Widget(WidgetRecord* widget) {
    return ScreenWidget{widget, nullptr, nullptr};
}
constexpr ScreenWidget BoundCheckBox(CheckBoxRecord* checkBox, VarRecord* state) {
    return ScreenWidget{checkBox, checkBox, state};
}

// A variable shown while the screen is current.
struct Binding {
    VarRecord* variable;
    VarDisplayProc display;
};

void AddWidgets(const ScreenWidget* widgets, size_t count);
void RemoveWidgets(const ScreenWidget* widgets, size_t count);
// Queues one paint for the whole tree and delivers it at once.
void PaintScreen();
// Attaches the display procedures and marks the variables, so the next cycle shows them all.
void Bind(const Binding* bindings, size_t count);
void Unbind(const Binding* bindings, size_t count);

template <size_t N>
void AddWidgets(const ScreenWidget (&widgets)[N]) {
    AddWidgets(widgets, N);
}
template <size_t N>
void RemoveWidgets(const ScreenWidget (&widgets)[N]) {
    RemoveWidgets(widgets, N);
}
template <size_t N>
void Bind(const Binding (&bindings)[N]) {
    Bind(bindings, N);
}
template <size_t N>
void Unbind(const Binding (&bindings)[N]) {
    Unbind(bindings, N);
}

// ---- Vector pictures. ----

// Draws a picture at an offset (x, y): the screens' fixed drawings and the LED pictures.
using VectorRoutine = void (*)(DrawContext* context, int32_t x, int32_t y);

struct VectorElement {
    enum class Kind : uint8_t { Picture, FilledRect, Text };
    Kind kind;
    int16_t x1;
    int16_t y1;
    int16_t x2;
    int16_t y2;
    uint32_t color;
    const uint8_t* picture;
    const FontRecord* font;
    const char* text;
    int32_t length;
};

constexpr VectorElement Picture(const uint8_t* picture, int16_t x, int16_t y) {
    return VectorElement{VectorElement::Kind::Picture, x, y, 0, 0, 0, picture, nullptr, nullptr, 0};
}
// Filled, then outlined in the same colour.
constexpr VectorElement FilledRect(int16_t x1, int16_t y1, int16_t x2, int16_t y2, uint32_t color) {
    return VectorElement{
        VectorElement::Kind::FilledRect, x1, y1, x2, y2, color, nullptr, nullptr, nullptr, 0};
}
// Transparent text, drawn with its exact length.
constexpr VectorElement Text(int16_t x, int16_t y, uint32_t color, const FontRecord* font,
                             const char* text) {
    int32_t length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return VectorElement{VectorElement::Kind::Text, x, y, 0, 0, color, nullptr, font, text, length};
}

void DrawVector(DrawContext* context, int32_t x, int32_t y, const VectorElement* elements,
                size_t count);
template <size_t N>
void DrawVector(DrawContext* context, int32_t x, int32_t y, const VectorElement (&elements)[N]) {
    DrawVector(context, x, y, elements, N);
}

// The canvas's paint: the screen cleared to white, then its picture.
void PaintFrame(DrawContext* context, VectorRoutine picture);

// ---- Handlers. ----

// The click of every text button: the pressed look is not kept after the press.
void ClearPressed(WidgetRecord* button);

// A label's display: the value in decimal, in the label's own buffer, repainted from the queue
// (if the queue refuses the paint, the variable stays marked for the next cycle). A value wider
// than the label shows a row of '#' instead of a cut-off number.
constexpr size_t kValueTextSize = 13;
void ShowValue(CanvasRecord* label, char (&buffer)[kValueTextSize], VarRecord* variable);

// A hand-drawn check box: a paint request draws the picture of its state; a toggle writes it.
void HandDrawnChange(WidgetRecord* checkBox, uint32_t state, VarRecord* variable,
                     void (*draw)(WidgetRecord* checkBox, int32_t value));
// A class-drawn check box's change: the new state is queued for writing to the module.
void WriteCheckBoxState(WidgetRecord* checkBox, VarRecord* variable);
// Draws the picture of the value's lowest bit at the box's corner, then flushes the display.
void DrawStatePicture(WidgetRecord* checkBox, int32_t value, const VectorRoutine (&pictures)[2]);
// A hand-drawn check box's display: ticked by a non-zero value, then drawn for the value.
void ShowHandDrawn(CheckBoxRecord* checkBox, VarRecord* variable,
                   void (*draw)(WidgetRecord* checkBox, int32_t value));

}  // namespace screen_kit
