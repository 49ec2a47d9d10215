// Screen module 1, the welcome screen: the logo, a greeting and the button to screen 2.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "widgets/canvas.hpp"
#include "widgets/pushbutton.hpp"

// Enters screen 1: refills the variable table, tears the current screen down, builds this one.
void _frame1();
void InitWidget1();
void FreeWidget1();

extern CanvasRecord CanvasFrame1;
extern PushButtonRecord TextPushButton71;  // "WEJDZ"

void OnFrame12Paint(WidgetRecord* canvas, DrawContext* context);
void renderFrame12Vector(DrawContext* context, int32_t x, int32_t y);
void _OnTextPushButton71Click(WidgetRecord* button);
void _OnTextPushButton71Release(WidgetRecord* button);
