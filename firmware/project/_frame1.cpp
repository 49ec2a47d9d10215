#include "project/_frame1.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "project/pictures.hpp"
#include "project/screen_kit.hpp"

using namespace screen_kit;

constinit CanvasRecord CanvasFrame1 = FrameCanvas(OnFrame12Paint);
constinit PushButtonRecord TextPushButton71 =
    TextButton({95, 147, 221, 195}, "WEJDZ", &g_sFontCm14b, kSlate, _OnTextPushButton71Click,
               _OnTextPushButton71Release);

namespace {

constexpr ScreenWidget kWidgets[] = {Widget(&CanvasFrame1), Widget(&TextPushButton71)};

constexpr VectorElement kPicture[] = {
    Picture(pucImage_Picture70, 9, 30),
    FilledRect(100, 151, 227, 201, kBlack),  // the button's shadow
    Text(45, 111, kBlack, &g_sFontCm14, "Witamy w aplikacji demonstracyjnej"),
    Text(257, 226, kBlack, &g_sFontCm12, "Varo 7150K"),
};

}  // namespace

void _frame1() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 1;
    InitWidget1();
}

// The welcome screen shows no variable.
void InitWidget1() {
    AddWidgets(kWidgets);
    PaintScreen();
}

void FreeWidget1() {
    RemoveWidgets(kWidgets);
}

void OnFrame12Paint(WidgetRecord*, DrawContext* context) {
    PaintFrame(context, renderFrame12Vector);
}

void renderFrame12Vector(DrawContext* context, int32_t x, int32_t y) {
    DrawVector(context, x, y, kPicture);
}

void _OnTextPushButton71Click(WidgetRecord* button) {
    ClearPressed(button);
}

void _OnTextPushButton71Release(WidgetRecord*) {
    hmi_GotoFrameByName("Frame2");
}
