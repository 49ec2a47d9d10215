// The named routines of this driver: thin instances of the one HX8347 design.
#include "display/FoxLink240x320x16_HX8347A.hpp"

#include "display/hx8347_driver.hpp"

namespace {
using D = hx8347::Driver<hx8347::Portrait>;
}  // namespace

// Where the hand-written PixelDraw, LineDrawH and PixelDrawMultiple send the calls they do not
// take.
void hx8347_portrait_pixel_draw_steps(void*, int32_t x, int32_t y, uint32_t colour) {
    D::PixelDrawSteps(x, y, colour);
}
void hx8347_portrait_line_draw_h_steps(void*, int32_t x1, int32_t x2, int32_t y, uint32_t colour) {
    D::LineDrawHSteps(x1, x2, y, colour);
}
void hx8347_portrait_pixel_draw_multiple_steps(void*, int32_t x, int32_t y, int32_t x0, int32_t count,
                                               int32_t bpp, const uint8_t* data, const void* palette) {
    D::PixelDrawMultipleSteps(x, y, x0, count, bpp, data, palette);
}

const DisplayDriver g_sFoxLink240x320x16_HX8347A = {
    40,
    nullptr,
    hx8347::Portrait::kWidth,
    hx8347::Portrait::kHeight,
    FoxLink240x320x16_HX8347A_PixelDraw,
    FoxLink240x320x16_HX8347A_PixelDrawMultiple,
    FoxLink240x320x16_HX8347A_LineDrawH,
    FoxLink240x320x16_HX8347A_LineDrawV,
    FoxLink240x320x16_HX8347A_RectFill,
    FoxLink240x320x16_HX8347A_ColorTranslate,
    FoxLink240x320x16_HX8347A_Flush,
};

void FoxLink240x320x16_HX8347A_Init() {
    D::Init();
}
void TM028HBZ32_240x320x16_HX8347G_init() {
    D::InitHX8347G();
}
void FoxLink240x320x16_HX8347A_Position(uint16_t x, uint16_t y) {
    D::Position(x, y);
}
void FoxLink240x320x16_HX8347A_SetPortrait() {
    D::SetPortrait();
}
void FoxLink240x320x16_HX8347A_SetLandscape() {
    D::SetLandscape();
}
void FoxLink240x320x16_HX8347A_BacklightOn() {
    D::BacklightOn();
}
void FoxLink240x320x16_HX8347A_BacklightOff() {
    D::BacklightOff();
}

void FoxLink240x320x16_HX8347A_PixelDraw(void* displayData, int32_t x, int32_t y, uint32_t colour) {
    D::PixelDraw(displayData, x, y, colour);
}
void FoxLink240x320x16_HX8347A_PixelDrawMultiple(void* displayData, int32_t x, int32_t y,
                                                 int32_t x0, int32_t count, int32_t bpp,
                                                 const uint8_t* data, const void* palette) {
    D::PixelDrawMultiple(displayData, x, y, x0, count, bpp, data, palette);
}
void FoxLink240x320x16_HX8347A_LineDrawH(void* displayData, int32_t x1, int32_t x2, int32_t y,
                                         uint32_t colour) {
    D::LineDrawH(displayData, x1, x2, y, colour);
}
void FoxLink240x320x16_HX8347A_LineDrawV(void* displayData, int32_t x, int32_t y1, int32_t y2,
                                         uint32_t colour) {
    D::LineDrawV(displayData, x, y1, y2, colour);
}
void FoxLink240x320x16_HX8347A_RectFill(void* displayData, const Rect* rect, uint32_t colour) {
    D::RectFill(displayData, rect, colour);
}
uint32_t FoxLink240x320x16_HX8347A_ColorTranslate(void* displayData, uint32_t rgb) {
    return D::ColorTranslate(displayData, rgb);
}
void FoxLink240x320x16_HX8347A_Flush(void* displayData) {
    D::Flush(displayData);
}
