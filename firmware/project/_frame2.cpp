#include "project/_frame2.hpp"

#include "graphics/image.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/pictures.hpp"

using namespace screen_kit;

constinit CanvasRecord CanvasFrame2 = FrameCanvas(OnFrame24Paint);
constinit PushButtonRecord TextPushButton77 = NavigationButton(
    kNavigationDiody, "DIODY", _OnTextPushButton77Click, _OnTextPushButton77Release);
constinit PushButtonRecord TextPushButton79 = NavigationButton(
    kNavigationWejscia, "WEJSCIA", _OnTextPushButton79Click, _OnTextPushButton79Release);
constinit PushButtonRecord TextPushButton81 = NavigationButton(
    kNavigationWyjscia, "WYJSCIA", _OnTextPushButton81Click, _OnTextPushButton81Release);
constinit PushButtonRecord TextPushButton83 = NavigationButton(
    kNavigationSmsMail, "SMS/MAIL", _OnTextPushButton83Click, _OnTextPushButton83Release);
constinit CheckBoxRecord CheckBox47 =
    HandDrawnCheckBox({19, 87, 98, 166}, "CheckBox47", _OnCheckBox47CheckChange);
constinit CheckBoxRecord CheckBox57 =
    HandDrawnCheckBox({120, 87, 199, 166}, "CheckBox57", _OnCheckBox57CheckChange);
constinit CheckBoxRecord CheckBox68 =
    HandDrawnCheckBox({219, 86, 298, 165}, "CheckBox68", _OnCheckBox68CheckChange);

const VectorRoutine ObjectList6[2] = {ObjectList6_0_renderGroup8Vector,
                                      ObjectList6_1_renderGroup8Vector};
const VectorRoutine ObjectList48[2] = {ObjectList48_0_renderGroup8Vector,
                                       ObjectList48_1_renderGroup8Vector};
const VectorRoutine ObjectList63[2] = {ObjectList63_0_renderGroup8Vector,
                                       ObjectList63_1_renderGroup8Vector};

namespace {

constexpr ScreenWidget kWidgets[] = {
    Widget(&CanvasFrame2),
    Widget(&TextPushButton77),
    Widget(&TextPushButton79),
    Widget(&TextPushButton81),
    Widget(&TextPushButton83),
    BoundCheckBox(&CheckBox47, &Dev_1_AO0),
    BoundCheckBox(&CheckBox57, &Dev_1_AO1),
    BoundCheckBox(&CheckBox68, &Dev_1_AO2),
};

constexpr Binding kBindings[] = {
    {&Dev_1_AO0, display_Dev_1_AO0},
    {&Dev_1_AO1, display_Dev_1_AO1},
    {&Dev_1_AO2, display_Dev_1_AO2},
};

constexpr VectorElement kPicture[] = {
    kShadowDiody,
    kShadowWejscia,
    kShadowWyjscia,
    kShadowSmsMail,
    Picture(pucImage_Picture98, kSmallLogoX, kSmallLogoY),
    kHeaderRule,
    Text(264, 21, kNavy, &g_sFontCm14b, "DIODY"),
    Text(17, 66, kBlack, &g_sFontCm14, "STATUS LED"),
    Text(127, 66, kBlack, &g_sFontCm14, "GPRS LED"),
    Text(225, 65, kBlack, &g_sFontCm14, "USER LED"),
};

}  // namespace

void _frame2() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 2;
    InitWidget2();
}

void InitWidget2() {
    AddWidgets(kWidgets);
    PaintScreen();
    if (_CurrentFrame == 2) {
        Bind(kBindings);
    }
}

void FreeWidget2() {
    Unbind(kBindings);
    RemoveWidgets(kWidgets);
}

void OnFrame24Paint(WidgetRecord*, DrawContext* context) {
    PaintFrame(context, renderFrame24Vector);
}

void renderFrame24Vector(DrawContext* context, int32_t x, int32_t y) {
    DrawVector(context, x, y, kPicture);
}

void _OnTextPushButton77Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton77Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame2");
}
void _OnTextPushButton79Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton79Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame3");
}
void _OnTextPushButton81Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton81Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame4");
}
void _OnTextPushButton83Click(WidgetRecord* button) {
    ClearPressed(button);
}
void _OnTextPushButton83Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame5");
}

void _OnCheckBox47CheckChange(WidgetRecord* checkBox, uint32_t state) {
    HandDrawnChange(checkBox, state, &Dev_1_AO0, DrawCheckBox47);
}
void _OnCheckBox57CheckChange(WidgetRecord* checkBox, uint32_t state) {
    HandDrawnChange(checkBox, state, &Dev_1_AO1, DrawCheckBox57);
}
void _OnCheckBox68CheckChange(WidgetRecord* checkBox, uint32_t state) {
    HandDrawnChange(checkBox, state, &Dev_1_AO2, DrawCheckBox68);
}

void DrawCheckBox47(WidgetRecord* checkBox, int32_t value) {
    DrawStatePicture(checkBox, value, ObjectList6);
}
void DrawCheckBox57(WidgetRecord* checkBox, int32_t value) {
    DrawStatePicture(checkBox, value, ObjectList48);
}
void DrawCheckBox68(WidgetRecord* checkBox, int32_t value) {
    DrawStatePicture(checkBox, value, ObjectList63);
}

void ObjectList6_0_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y) {
    hmi_DrawImage(context, ObjectList6_0_pucImage_Picture9, x, y);
}
void ObjectList6_1_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y) {
    hmi_DrawImage(context, ObjectList6_1_pucImage_Picture9, x, y);
}
void ObjectList48_0_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y) {
    hmi_DrawImage(context, ObjectList48_0_pucImage_Picture9, x, y);
}
void ObjectList48_1_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y) {
    hmi_DrawImage(context, ObjectList48_1_pucImage_Picture9, x, y);
}
void ObjectList63_0_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y) {
    hmi_DrawImage(context, ObjectList63_0_pucImage_Picture9, x, y);
}
void ObjectList63_1_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y) {
    hmi_DrawImage(context, ObjectList63_1_pucImage_Picture9, x, y);
}

void display_Dev_1_AO0(VarRecord*) {
    ShowHandDrawn(&CheckBox47, &Dev_1_AO0, DrawCheckBox47);
}
void display_Dev_1_AO1(VarRecord*) {
    ShowHandDrawn(&CheckBox57, &Dev_1_AO1, DrawCheckBox57);
}
void display_Dev_1_AO2(VarRecord*) {
    ShowHandDrawn(&CheckBox68, &Dev_1_AO2, DrawCheckBox68);
}
