// Screen module 2, "DIODY": the three LEDs of the remote module as hand-drawn check boxes.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "project/screen_kit.hpp"
#include "vars/pvar.hpp"
#include "widgets/canvas.hpp"
#include "widgets/checkbox.hpp"
#include "widgets/pushbutton.hpp"

// Enters screen 2: refills the variable table, tears the current screen down, builds this one.
void _frame2();
void InitWidget2();
void FreeWidget2();

extern CanvasRecord CanvasFrame2;
extern PushButtonRecord TextPushButton77;  // "DIODY"
extern PushButtonRecord TextPushButton79;  // "WEJSCIA"
extern PushButtonRecord TextPushButton81;  // "WYJSCIA"
extern PushButtonRecord TextPushButton83;  // "SMS/MAIL"
extern CheckBoxRecord CheckBox47;          // STATUS LED, Dev_1_AO0
extern CheckBoxRecord CheckBox57;          // GPRS LED, Dev_1_AO1
extern CheckBoxRecord CheckBox68;          // USER LED, Dev_1_AO2

// The LED pictures of each box: entry 0 off, entry 1 on.
extern const screen_kit::VectorRoutine ObjectList6[2];
extern const screen_kit::VectorRoutine ObjectList48[2];
extern const screen_kit::VectorRoutine ObjectList63[2];

void OnFrame24Paint(WidgetRecord* canvas, DrawContext* context);
void renderFrame24Vector(DrawContext* context, int32_t x, int32_t y);
void _OnTextPushButton77Click(WidgetRecord* button);
void _OnTextPushButton77Release(WidgetRecord* button);
void _OnTextPushButton79Click(WidgetRecord* button);
void _OnTextPushButton79Release(WidgetRecord* button);
void _OnTextPushButton81Click(WidgetRecord* button);
void _OnTextPushButton81Release(WidgetRecord* button);
void _OnTextPushButton83Click(WidgetRecord* button);
void _OnTextPushButton83Release(WidgetRecord* button);
void _OnCheckBox47CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox57CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox68CheckChange(WidgetRecord* checkBox, uint32_t state);
void DrawCheckBox47(WidgetRecord* checkBox, int32_t value);
void DrawCheckBox57(WidgetRecord* checkBox, int32_t value);
void DrawCheckBox68(WidgetRecord* checkBox, int32_t value);
void ObjectList6_0_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y);
void ObjectList6_1_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y);
void ObjectList48_0_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y);
void ObjectList48_1_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y);
void ObjectList63_0_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y);
void ObjectList63_1_renderGroup8Vector(DrawContext* context, int32_t x, int32_t y);
void display_Dev_1_AO0(VarRecord* variable);
void display_Dev_1_AO1(VarRecord* variable);
void display_Dev_1_AO2(VarRecord* variable);
