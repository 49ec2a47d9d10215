// Screen module 3, "WEJSCIA": the remote module's inputs as numbers in a grid of labels.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "vars/pvar.hpp"
#include "widgets/canvas.hpp"
#include "widgets/pushbutton.hpp"

// Enters screen 3: refills the variable table, tears the current screen down, builds this one.
void _frame3();
void InitWidget3();
void FreeWidget3();

extern CanvasRecord CanvasFrame3;
extern PushButtonRecord TextPushButton10;  // "DIODY"
extern PushButtonRecord TextPushButton39;  // "WEJSCIA"
extern PushButtonRecord TextPushButton41;  // "WYJSCIA"
extern PushButtonRecord TextPushButton56;  // "SMS/MAIL"
extern CanvasRecord Label11;               // DI1, Dev_1_AO3
extern CanvasRecord Label53;               // DI2, Dev_1_AO4
extern CanvasRecord Label131;              // DI3, Dev_1_AO5
extern CanvasRecord Label136;              // DI4, Dev_1_AO6
extern CanvasRecord Label141;              // DI5, Dev_1_AO7
extern CanvasRecord Label147;              // DI6, Dev_1_AO8
extern CanvasRecord Label152;              // DI7, Dev_1_AO9
extern CanvasRecord Label160;              // AI1, Dev_1_AO16
extern CanvasRecord Label165;              // AI2, Dev_1_AO17
extern CanvasRecord Label169;              // AI3, Dev_1_AO18
extern CanvasRecord Label173;              // AIV, Dev_1_AO19

void OnFrame325Paint(WidgetRecord* canvas, DrawContext* context);
void renderFrame325Vector(DrawContext* context, int32_t x, int32_t y);
void _OnTextPushButton10Click(WidgetRecord* button);
void _OnTextPushButton10Release(WidgetRecord* button);
void _OnTextPushButton39Click(WidgetRecord* button);
void _OnTextPushButton39Release(WidgetRecord* button);
void _OnTextPushButton41Click(WidgetRecord* button);
void _OnTextPushButton41Release(WidgetRecord* button);
void _OnTextPushButton56Click(WidgetRecord* button);
void _OnTextPushButton56Release(WidgetRecord* button);
void display_Dev_1_AO3(VarRecord* variable);
void display_Dev_1_AO4(VarRecord* variable);
void display_Dev_1_AO5(VarRecord* variable);
void display_Dev_1_AO6(VarRecord* variable);
void display_Dev_1_AO7(VarRecord* variable);
void display_Dev_1_AO8(VarRecord* variable);
void display_Dev_1_AO9(VarRecord* variable);
void display_Dev_1_AO16(VarRecord* variable);
void display_Dev_1_AO17(VarRecord* variable);
void display_Dev_1_AO18(VarRecord* variable);
void display_Dev_1_AO19(VarRecord* variable);
