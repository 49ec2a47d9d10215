// Screen module 5, "SMS/MAIL": two momentary buttons that ask the remote module to send an
// e-mail or an SMS.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "vars/pvar.hpp"
#include "widgets/canvas.hpp"
#include "widgets/pushbutton.hpp"

// Enters screen 5: refills the variable table, tears the current screen down, builds this one.
void _frame5();
void InitWidget5();
void FreeWidget5();

extern CanvasRecord CanvasFrame5;
extern PushButtonRecord TextPushButton91;  // "DIODY"
extern PushButtonRecord TextPushButton93;  // "WEJSCIA"
extern PushButtonRecord TextPushButton95;  // "WYJSCIA"
extern PushButtonRecord TextPushButton97;  // "SMS/MAIL"
extern PushButtonRecord TextPushButton28;  // "WYSLIJ MAIL", Dev_1_AO21
extern PushButtonRecord TextPushButton30;  // "WYSLIJ SMS", Dev_1_AO20

void OnFrame567Paint(WidgetRecord* canvas, DrawContext* context);
void renderFrame567Vector(DrawContext* context, int32_t x, int32_t y);
void _OnTextPushButton91Click(WidgetRecord* button);
void _OnTextPushButton91Release(WidgetRecord* button);
void _OnTextPushButton93Click(WidgetRecord* button);
void _OnTextPushButton93Release(WidgetRecord* button);
void _OnTextPushButton95Click(WidgetRecord* button);
void _OnTextPushButton95Release(WidgetRecord* button);
void _OnTextPushButton97Click(WidgetRecord* button);
void _OnTextPushButton97Release(WidgetRecord* button);
void _OnTextPushButton28Click(WidgetRecord* button);
void _OnTextPushButton28Release(WidgetRecord* button);
void _OnTextPushButton30Click(WidgetRecord* button);
void _OnTextPushButton30Release(WidgetRecord* button);
void display_Dev_1_AO20(VarRecord* variable);
void display_Dev_1_AO21(VarRecord* variable);
