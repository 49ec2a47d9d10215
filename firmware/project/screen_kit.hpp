// The parts every screen module is made of: record builders for the recurring widget kinds,
// the vector pictures as tables of drawing steps, and the building, binding and handler steps
// that all five screens share.
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

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlue = 0x1E5689;
constexpr uint32_t kNavy = 0x000080;
constexpr uint32_t kLightGrey = 0xDEDEDE;
constexpr uint32_t kSlate = 0x3C4E5A;

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

// A blue button with an outlined, opaque white caption, no images and no auto-repeat.
constexpr PushButtonRecord TextButton(Rect position, const char* text, const FontRecord* font,
                                      uint32_t outlineColor, PushButtonFn onClick,
                                      PushButtonFn onRelease) {
    return PushButtonRecord{Header(sizeof(PushButtonRecord), position, RectangularButtonMsgProc),
                            PB_OUTLINE | PB_FILL | PB_TEXT | PB_TEXT_OPAQUE,
                            kBlue,
                            kBlack,
                            outlineColor,
                            kWhite,
                            font,
                            text,
                            nullptr,
                            nullptr,
                            0,
                            0,
                            0,
                            onClick,
                            onRelease,
                            0};
}

// The navigation buttons, and the send buttons that share their look.
constexpr PushButtonRecord NavigationButton(Rect position, const char* text, PushButtonFn onClick,
                                            PushButtonFn onRelease) {
    return TextButton(position, text, &g_sFontCm12, kBlack, onClick, onRelease);
}

// Positions and targets of the navigation bar of screens 2 to 5, left to right.
constexpr Rect kNavigationDiody = {16, 197, 79, 220};
constexpr Rect kNavigationWejscia = {89, 197, 152, 220};
constexpr Rect kNavigationWyjscia = {162, 197, 225, 220};
constexpr Rect kNavigationSmsMail = {234, 197, 297, 220};

// A grey box showing a number, left-aligned in black; "0" until its variable is first shown.
constexpr CanvasRecord ValueLabel(Rect position) {
    return CanvasRecord{
        Header(sizeof(CanvasRecord), position, CanvasMsgProc),
        CANVAS_OUTLINE | CANVAS_FILL | CANVAS_TEXT | CANVAS_TEXT_OPAQUE | CANVAS_TEXT_LEFT,
        kLightGrey,
        kLightGrey,
        kBlack,
        &g_sFontCm14,
        "0",
        nullptr,
        nullptr};
}

// A check box whose onChange draws it (an LED picture per state). The other style bits and the
// text (the widget's own name) are kept in the record but never drawn.
constexpr CheckBoxRecord HandDrawnCheckBox(Rect position, const char* name,
                                           CheckBoxChangeFn onChange) {
    return CheckBoxRecord{Header(sizeof(CheckBoxRecord), position, CheckBoxMsgProc),
                          CB_APP_DRAWN | CB_OUTLINE | CB_FILL | CB_TEXT,
                          16,
                          kWhite,
                          kBlack,
                          kBlack,
                          &g_sFontCm14,
                          name,
                          nullptr,
                          onChange,
                          0};
}

// A check box drawn by its class: blue, with its output's name in white and a square of size 0.
constexpr CheckBoxRecord OutputCheckBox(Rect position, const char* name,
                                        CheckBoxChangeFn onChange) {
    return CheckBoxRecord{Header(sizeof(CheckBoxRecord), position, CheckBoxMsgProc),
                          CB_OUTLINE | CB_FILL | CB_TEXT,
                          0,
                          kBlue,
                          kBlack,
                          kWhite,
                          &g_sFontCm14,
                          name,
                          nullptr,
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

// The header of screens 2 to 5 (small logo and rule) and the navigation bar's drop shadows.
constexpr VectorElement kHeaderRule = FilledRect(12, 39, 305, 41, kBlue);
constexpr VectorElement kShadowDiody = FilledRect(20, 199, 83, 223, kBlack);
constexpr VectorElement kShadowWejscia = FilledRect(92, 199, 155, 223, kBlack);
constexpr VectorElement kShadowWyjscia = FilledRect(165, 199, 228, 223, kBlack);
constexpr VectorElement kShadowSmsMail = FilledRect(237, 199, 301, 223, kBlack);
constexpr int16_t kSmallLogoX = 11;
constexpr int16_t kSmallLogoY = 18;

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
