#include "project/_frame4.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/pictures.hpp"
#include "project/screen_kit.hpp"

using namespace screen_kit;

constinit CanvasRecord CanvasFrame4 = FrameCanvas(OnFrame455Paint);
constinit PushButtonRecord TextPushButton60 = NavigationButton(
    kNavigationDiody, "DIODY", _OnTextPushButton60Click, _OnTextPushButton60Release);
constinit PushButtonRecord TextPushButton62 = NavigationButton(
    kNavigationWejscia, "WEJSCIA", _OnTextPushButton62Click, _OnTextPushButton62Release);
constinit PushButtonRecord TextPushButton85 = NavigationButton(
    kNavigationWyjscia, "WYJSCIA", _OnTextPushButton85Click, _OnTextPushButton85Release);
constinit PushButtonRecord TextPushButton87 = NavigationButton(
    kNavigationSmsMail, "SMS/MAIL", _OnTextPushButton87Click, _OnTextPushButton87Release);
constinit CheckBoxRecord CheckBox16 =
    OutputCheckBox({36, 68, 77, 91}, "DO1", _OnCheckBox16CheckChange);
constinit CheckBoxRecord CheckBox21 =
    OutputCheckBox({180, 68, 221, 91}, "DO2", _OnCheckBox21CheckChange);
constinit CheckBoxRecord CheckBox46 =
    OutputCheckBox({36, 106, 77, 129}, "PO1", _OnCheckBox46CheckChange);
constinit CheckBoxRecord CheckBox155 =
    OutputCheckBox({180, 106, 221, 129}, "PO2", _OnCheckBox155CheckChange);
constinit CheckBoxRecord CheckBox178 =
    OutputCheckBox({36, 144, 77, 167}, "PO3", _OnCheckBox178CheckChange);
constinit CheckBoxRecord CheckBox183 =
    OutputCheckBox({180, 144, 221, 167}, "PO4", _OnCheckBox183CheckChange);
constinit CanvasRecord Label22 = ValueLabel({95, 69, 123, 92});
constinit CanvasRecord Label23 = ValueLabel({240, 70, 268, 93});
constinit CanvasRecord Label35 = ValueLabel({95, 106, 123, 129});
constinit CanvasRecord Label13 = ValueLabel({240, 107, 268, 130});
constinit CanvasRecord Label36 = ValueLabel({95, 145, 123, 168});
constinit CanvasRecord Label17 = ValueLabel({240, 146, 268, 169});

namespace {

// Each label's text while it shows its variable; kept between visits.
char label22Text[kValueTextSize];
char label23Text[kValueTextSize];
char label35Text[kValueTextSize];
char label13Text[kValueTextSize];
char label36Text[kValueTextSize];
char label17Text[kValueTextSize];

// The check boxes take their variables' states only here, on entry; while the screen is shown
// only the labels follow the variables.
constexpr ScreenWidget kWidgets[] = {
    Widget(&CanvasFrame4),
    Widget(&TextPushButton60),
    Widget(&TextPushButton62),
    Widget(&TextPushButton85),
    Widget(&TextPushButton87),
    BoundCheckBox(&CheckBox16, &Dev_1_AO10),
    BoundCheckBox(&CheckBox21, &Dev_1_AO11),
    Widget(&Label23),
    BoundCheckBox(&CheckBox46, &Dev_1_AO12),
    BoundCheckBox(&CheckBox155, &Dev_1_AO13),
    BoundCheckBox(&CheckBox178, &Dev_1_AO14),
    BoundCheckBox(&CheckBox183, &Dev_1_AO15),
    Widget(&Label13),
    Widget(&Label17),
    Widget(&Label22),
    Widget(&Label35),
    Widget(&Label36),
};

constexpr Binding kBindings[] = {
    {&Dev_1_AO10, display_Dev_1_AO10}, {&Dev_1_AO11, display_Dev_1_AO11},
    {&Dev_1_AO12, display_Dev_1_AO12}, {&Dev_1_AO13, display_Dev_1_AO13},
    {&Dev_1_AO14, display_Dev_1_AO14}, {&Dev_1_AO15, display_Dev_1_AO15},
};

// Each output on a white frame with a black inner rectangle, over a light-grey separator.
constexpr VectorElement kPicture[] = {
    Picture(pucImage_Picture104, kSmallLogoX, kSmallLogoY),
    kHeaderRule,
    kShadowDiody,
    kShadowWejscia,
    kShadowWyjscia,
    kShadowSmsMail,
    FilledRect(-15, 80, 334, 84, kLightGrey),
    FilledRect(33, 63, 84, 102, kWhite),
    FilledRect(39, 72, 81, 96, kBlack),
    FilledRect(177, 63, 228, 102, kWhite),
    FilledRect(183, 72, 225, 96, kBlack),
    FilledRect(-15, 118, 334, 122, kLightGrey),
    FilledRect(33, 101, 84, 140, kWhite),
    FilledRect(39, 110, 81, 134, kBlack),
    FilledRect(177, 101, 228, 140, kWhite),
    FilledRect(183, 110, 225, 134, kBlack),
    FilledRect(-15, 156, 334, 160, kLightGrey),
    FilledRect(33, 134, 84, 173, kWhite),
    FilledRect(39, 148, 81, 172, kBlack),
    FilledRect(177, 134, 228, 173, kWhite),
    FilledRect(183, 148, 225, 172, kBlack),
    Text(245, 21, kNavy, &g_sFontCm14b, "WYJSCIA"),
};
static_assert(sizeof(kPicture) / sizeof(kPicture[0]) == 22);

}  // namespace

void _frame4() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 4;
    InitWidget4();
}

void InitWidget4() {
    AddWidgets(kWidgets);
    PaintScreen();
    if (_CurrentFrame == 4) {
        Bind(kBindings);
    }
}

void FreeWidget4() {
    Unbind(kBindings);
    RemoveWidgets(kWidgets);
}

void OnFrame455Paint(WidgetRecord*, DrawContext* context) {
    PaintFrame(context, renderFrame455Vector);
}

void renderFrame455Vector(DrawContext* context, int32_t x, int32_t y) {
    DrawVector(context, x, y, kPicture);
}

void _OnTextPushButton60Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton60Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame2");
}
void _OnTextPushButton62Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton62Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame3");
}
void _OnTextPushButton85Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton85Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame4");
}
void _OnTextPushButton87Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton87Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame5");
}

void _OnCheckBox16CheckChange(WidgetRecord* checkBox, uint32_t) {
    WriteCheckBoxState(checkBox, &Dev_1_AO10);
}
void _OnCheckBox21CheckChange(WidgetRecord* checkBox, uint32_t) {
    WriteCheckBoxState(checkBox, &Dev_1_AO11);
}
void _OnCheckBox46CheckChange(WidgetRecord* checkBox, uint32_t) {
    WriteCheckBoxState(checkBox, &Dev_1_AO12);
}
void _OnCheckBox155CheckChange(WidgetRecord* checkBox, uint32_t) {
    WriteCheckBoxState(checkBox, &Dev_1_AO13);
}
void _OnCheckBox178CheckChange(WidgetRecord* checkBox, uint32_t) {
    WriteCheckBoxState(checkBox, &Dev_1_AO14);
}
void _OnCheckBox183CheckChange(WidgetRecord* checkBox, uint32_t) {
    WriteCheckBoxState(checkBox, &Dev_1_AO15);
}

void display_Dev_1_AO10(VarRecord*) {
    ShowValue(&Label22, label22Text, &Dev_1_AO10);
}
void display_Dev_1_AO11(VarRecord*) {
    ShowValue(&Label23, label23Text, &Dev_1_AO11);
}
void display_Dev_1_AO12(VarRecord*) {
    ShowValue(&Label35, label35Text, &Dev_1_AO12);
}
void display_Dev_1_AO13(VarRecord*) {
    ShowValue(&Label13, label13Text, &Dev_1_AO13);
}
void display_Dev_1_AO14(VarRecord*) {
    ShowValue(&Label36, label36Text, &Dev_1_AO14);
}
void display_Dev_1_AO15(VarRecord*) {
    ShowValue(&Label17, label17Text, &Dev_1_AO15);
}
