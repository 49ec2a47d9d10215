#include "project/_frame5.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/pictures.hpp"
#include "project/screen_kit.hpp"

using namespace screen_kit;

constinit CanvasRecord CanvasFrame5 = FrameCanvas(OnFrame567Paint);
constinit PushButtonRecord TextPushButton91 = NavigationButton(
    kNavigationDiody, "DIODY", _OnTextPushButton91Click, _OnTextPushButton91Release);
constinit PushButtonRecord TextPushButton93 = NavigationButton(
    kNavigationWejscia, "WEJSCIA", _OnTextPushButton93Click, _OnTextPushButton93Release);
constinit PushButtonRecord TextPushButton95 = NavigationButton(
    kNavigationWyjscia, "WYJSCIA", _OnTextPushButton95Click, _OnTextPushButton95Release);
constinit PushButtonRecord TextPushButton97 = NavigationButton(
    kNavigationSmsMail, "SMS/MAIL", _OnTextPushButton97Click, _OnTextPushButton97Release);
constinit PushButtonRecord TextPushButton28 = NavigationButton(
    {106, 78, 205, 106}, "WYSLIJ MAIL", _OnTextPushButton28Click, _OnTextPushButton28Release);
constinit PushButtonRecord TextPushButton30 = NavigationButton(
    {107, 129, 206, 157}, "WYSLIJ SMS", _OnTextPushButton30Click, _OnTextPushButton30Release);

namespace {

constexpr ScreenWidget kWidgets[] = {
    Widget(&CanvasFrame5),     Widget(&TextPushButton91), Widget(&TextPushButton93),
    Widget(&TextPushButton95), Widget(&TextPushButton97), Widget(&TextPushButton28),
    Widget(&TextPushButton30),
};

// Not shown: bound so that the variables have a display while the screen is current.
constexpr Binding kBindings[] = {
    {&Dev_1_AO20, display_Dev_1_AO20},
    {&Dev_1_AO21, display_Dev_1_AO21},
};

// Each send button on a light-grey band, in a white frame with a black shadow.
constexpr VectorElement kPicture[] = {
    Picture(pucImage_Picture107, kSmallLogoX, kSmallLogoY),
    kHeaderRule,
    kShadowDiody,
    kShadowWejscia,
    kShadowWyjscia,
    kShadowSmsMail,
    FilledRect(1, 78, 316, 111, kLightGrey),
    FilledRect(99, 75, 217, 113, kWhite),
    FilledRect(112, 81, 210, 110, kBlack),
    FilledRect(1, 129, 316, 162, kLightGrey),
    FilledRect(99, 126, 217, 164, kWhite),
    FilledRect(113, 132, 211, 161, kBlack),
    Text(240, 22, kNavy, &g_sFontCm14b, "SMS/MAIL"),
};
static_assert(sizeof(kPicture) / sizeof(kPicture[0]) == 13);

}  // namespace

void _frame5() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 5;
    InitWidget5();
}

void InitWidget5() {
    AddWidgets(kWidgets);
    PaintScreen();
    if (_CurrentFrame == 5) {
        Bind(kBindings);
    }
}

void FreeWidget5() {
    Unbind(kBindings);
    RemoveWidgets(kWidgets);
}

void OnFrame567Paint(WidgetRecord*, DrawContext* context) {
    PaintFrame(context, renderFrame567Vector);
}

void renderFrame567Vector(DrawContext* context, int32_t x, int32_t y) {
    DrawVector(context, x, y, kPicture);
}

void _OnTextPushButton91Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton91Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame2");
}
void _OnTextPushButton93Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton93Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame3");
}
void _OnTextPushButton95Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton95Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame4");
}
void _OnTextPushButton97Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton97Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame5");
}

// The request register reads 1 from the press inside the button until the pointer-up, wherever
// the touch ends; the module acts when it sees 1 then 0.
void _OnTextPushButton28Click(WidgetRecord* button) {
    ClearPressed(button);
    var_set_write_data(&Dev_1_AO21, 1);
}
void _OnTextPushButton28Release(WidgetRecord*) {
    var_set_write_data(&Dev_1_AO21, 0);
}
void _OnTextPushButton30Click(WidgetRecord* button) {
    ClearPressed(button);
    var_set_write_data(&Dev_1_AO20, 1);
}
void _OnTextPushButton30Release(WidgetRecord*) {
    var_set_write_data(&Dev_1_AO20, 0);
}

void display_Dev_1_AO20(VarRecord*) {}
void display_Dev_1_AO21(VarRecord*) {}
