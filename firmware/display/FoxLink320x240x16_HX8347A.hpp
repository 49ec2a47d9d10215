//
#pragma once

#include <cstdint>

#include "graphics/context.hpp"

extern const DisplayDriver g_sFoxLink320x240x16_HX8347A;

void FoxLink320x240x16_HX8347A_Init();
void TM028HBZ32_320x240x16_HX8347G_init();
void FoxLink320x240x16_HX8347A_Position(uint16_t x, uint16_t y);
void FoxLink320x240x16_HX8347A_SetPortrait();
void FoxLink320x240x16_HX8347A_SetLandscape();
void FoxLink320x240x16_HX8347A_BacklightOn();
void FoxLink320x240x16_HX8347A_BacklightOff();

void FoxLink320x240x16_HX8347A_PixelDraw(void* displayData, int32_t x, int32_t y, uint32_t colour);
void FoxLink320x240x16_HX8347A_PixelDrawMultiple(void* displayData, int32_t x, int32_t y,
                                                 int32_t x0, int32_t count, int32_t bpp,
                                                 const uint8_t* data, const void* palette);
void FoxLink320x240x16_HX8347A_LineDrawH(void* displayData, int32_t x1, int32_t x2, int32_t y,
                                         uint32_t colour);
void FoxLink320x240x16_HX8347A_LineDrawV(void* displayData, int32_t x, int32_t y1, int32_t y2,
                                         uint32_t colour);
void FoxLink320x240x16_HX8347A_RectFill(void* displayData, const Rect* rect, uint32_t colour);
uint32_t FoxLink320x240x16_HX8347A_ColorTranslate(void* displayData, uint32_t rgb);
void FoxLink320x240x16_HX8347A_Flush(void* displayData);
