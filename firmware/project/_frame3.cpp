#include "project/_frame3.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/pictures.hpp"
#include "project/screen_kit.hpp"

using namespace screen_kit;

constinit CanvasRecord CanvasFrame3 = FrameCanvas(OnFrame325Paint);
constinit PushButtonRecord TextPushButton10 = NavigationButton(
    kNavigationDiody, "DIODY", _OnTextPushButton10Click, _OnTextPushButton10Release);
constinit PushButtonRecord TextPushButton39 = NavigationButton(
    kNavigationWejscia, "WEJSCIA", _OnTextPushButton39Click, _OnTextPushButton39Release);
constinit PushButtonRecord TextPushButton41 = NavigationButton(
    kNavigationWyjscia, "WYJSCIA", _OnTextPushButton41Click, _OnTextPushButton41Release);
constinit PushButtonRecord TextPushButton56 = NavigationButton(
    kNavigationSmsMail, "SMS/MAIL", _OnTextPushButton56Click, _OnTextPushButton56Release);
constinit CanvasRecord Label11 = ValueLabel({59, 61, 82, 81});
constinit CanvasRecord Label53 = ValueLabel({166, 60, 189, 80});
constinit CanvasRecord Label131 = ValueLabel({273, 60, 296, 80});
constinit CanvasRecord Label136 = ValueLabel({59, 92, 82, 112});
constinit CanvasRecord Label141 = ValueLabel({166, 91, 189, 111});
constinit CanvasRecord Label147 = ValueLabel({273, 91, 296, 111});
constinit CanvasRecord Label152 = ValueLabel({59, 123, 82, 143});
constinit CanvasRecord Label160 = ValueLabel({273, 122, 296, 142});
constinit CanvasRecord Label165 = ValueLabel({59, 153, 82, 173});
constinit CanvasRecord Label169 = ValueLabel({166, 152, 189, 172});
constinit CanvasRecord Label173 = ValueLabel({273, 152, 296, 172});

namespace {

// Each label's text while it shows its variable; kept between visits.
char label11Text[kValueTextSize];
char label53Text[kValueTextSize];
char label131Text[kValueTextSize];
char label136Text[kValueTextSize];
char label141Text[kValueTextSize];
char label147Text[kValueTextSize];
char label152Text[kValueTextSize];
char label160Text[kValueTextSize];
char label165Text[kValueTextSize];
char label169Text[kValueTextSize];
char label173Text[kValueTextSize];

constexpr ScreenWidget kWidgets[] = {
    Widget(&CanvasFrame3),     Widget(&TextPushButton10), Widget(&TextPushButton39),
    Widget(&TextPushButton41), Widget(&TextPushButton56), Widget(&Label11),
    Widget(&Label53),          Widget(&Label131),         Widget(&Label136),
    Widget(&Label141),         Widget(&Label147),         Widget(&Label152),
    Widget(&Label160),         Widget(&Label165),         Widget(&Label169),
    Widget(&Label173),
};

constexpr Binding kBindings[] = {
    {&Dev_1_AO3, display_Dev_1_AO3},   {&Dev_1_AO4, display_Dev_1_AO4},
    {&Dev_1_AO5, display_Dev_1_AO5},   {&Dev_1_AO6, display_Dev_1_AO6},
    {&Dev_1_AO7, display_Dev_1_AO7},   {&Dev_1_AO8, display_Dev_1_AO8},
    {&Dev_1_AO9, display_Dev_1_AO9},   {&Dev_1_AO16, display_Dev_1_AO16},
    {&Dev_1_AO17, display_Dev_1_AO17}, {&Dev_1_AO18, display_Dev_1_AO18},
    {&Dev_1_AO19, display_Dev_1_AO19},
};

// Grey cells with a caption and a white bar; the order decides what ends up on top where the
// bars cross the row separators.
constexpr VectorElement kPicture[] = {
    Picture(pucImage_Picture101, kSmallLogoX, kSmallLogoY),
    kHeaderRule,
    kShadowDiody,
    kShadowWejscia,
    kShadowWyjscia,
    kShadowSmsMail,
    FilledRect(-15, 69, 334, 73, kLightGrey),
    FilledRect(21, 59, 83, 84, kLightGrey),
    Text(29, 63, kBlack, &g_sFontCm14, "DI1"),
    FilledRect(53, 46, 58, 94, kWhite),
    FilledRect(128, 58, 190, 83, kLightGrey),
    Text(136, 62, kBlack, &g_sFontCm14, "DI2"),
    FilledRect(160, 45, 165, 93, kWhite),
    FilledRect(235, 58, 297, 83, kLightGrey),
    Text(243, 62, kBlack, &g_sFontCm14, "DI3"),
    FilledRect(267, 51, 272, 99, kWhite),
    FilledRect(53, 78, 58, 126, kWhite),
    FilledRect(160, 77, 165, 125, kWhite),
    FilledRect(267, 77, 272, 125, kWhite),
    FilledRect(-15, 100, 334, 104, kLightGrey),
    FilledRect(21, 90, 83, 115, kLightGrey),
    Text(29, 94, kBlack, &g_sFontCm14, "DI4"),
    FilledRect(53, 78, 58, 126, kWhite),
    FilledRect(128, 89, 190, 114, kLightGrey),
    Text(136, 93, kBlack, &g_sFontCm14, "DI5"),
    FilledRect(160, 77, 165, 125, kWhite),
    FilledRect(235, 89, 297, 114, kLightGrey),
    Text(243, 93, kBlack, &g_sFontCm14, "DI6"),
    FilledRect(267, 77, 272, 125, kWhite),
    FilledRect(-15, 131, 334, 135, kLightGrey),
    FilledRect(21, 121, 83, 146, kLightGrey),
    Text(29, 125, kBlack, &g_sFontCm14, "DI7"),
    FilledRect(53, 114, 58, 162, kWhite),
    FilledRect(235, 120, 297, 145, kLightGrey),
    Text(243, 124, kBlack, &g_sFontCm14, "AI1"),
    FilledRect(267, 113, 272, 161, kWhite),
    FilledRect(-15, 161, 334, 165, kLightGrey),
    FilledRect(21, 151, 83, 176, kLightGrey),
    Text(29, 155, kBlack, &g_sFontCm14, "AI2"),
    FilledRect(53, 138, 58, 186, kWhite),
    FilledRect(128, 150, 190, 175, kLightGrey),
    Text(136, 154, kBlack, &g_sFontCm14, "AI3"),
    FilledRect(160, 137, 165, 185, kWhite),
    FilledRect(235, 150, 297, 175, kLightGrey),
    Text(243, 154, kBlack, &g_sFontCm14, "AIV"),
    FilledRect(267, 137, 272, 185, kWhite),
    Text(246, 21, kNavy, &g_sFontCm14b, "WEJSCIA"),
};
static_assert(sizeof(kPicture) / sizeof(kPicture[0]) == 47);

}  // namespace

void _frame3() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 3;
    InitWidget3();
}

void InitWidget3() {
    AddWidgets(kWidgets);
    PaintScreen();
    if (_CurrentFrame == 3) {
        Bind(kBindings);
    }
}

void FreeWidget3() {
    Unbind(kBindings);
    RemoveWidgets(kWidgets);
}

void OnFrame325Paint(WidgetRecord*, DrawContext* context) {
    PaintFrame(context, renderFrame325Vector);
}

void renderFrame325Vector(DrawContext* context, int32_t x, int32_t y) {
    DrawVector(context, x, y, kPicture);
}

void _OnTextPushButton10Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton10Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame2");
}
void _OnTextPushButton39Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton39Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame3");
}
void _OnTextPushButton41Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton41Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame4");
}
void _OnTextPushButton56Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton56Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame5");
}

void display_Dev_1_AO3(VarRecord*) {
    ShowValue(&Label11, label11Text, &Dev_1_AO3);
}
void display_Dev_1_AO4(VarRecord*) {
    ShowValue(&Label53, label53Text, &Dev_1_AO4);
}
void display_Dev_1_AO5(VarRecord*) {
    ShowValue(&Label131, label131Text, &Dev_1_AO5);
}
void display_Dev_1_AO6(VarRecord*) {
    ShowValue(&Label136, label136Text, &Dev_1_AO6);
}
void display_Dev_1_AO7(VarRecord*) {
    ShowValue(&Label141, label141Text, &Dev_1_AO7);
}
void display_Dev_1_AO8(VarRecord*) {
    ShowValue(&Label147, label147Text, &Dev_1_AO8);
}
void display_Dev_1_AO9(VarRecord*) {
    ShowValue(&Label152, label152Text, &Dev_1_AO9);
}
void display_Dev_1_AO16(VarRecord*) {
    ShowValue(&Label160, label160Text, &Dev_1_AO16);
}
void display_Dev_1_AO17(VarRecord*) {
    ShowValue(&Label165, label165Text, &Dev_1_AO17);
}
void display_Dev_1_AO18(VarRecord*) {
    ShowValue(&Label169, label169Text, &Dev_1_AO18);
}
void display_Dev_1_AO19(VarRecord*) {
    ShowValue(&Label173, label173Text, &Dev_1_AO19);
}
