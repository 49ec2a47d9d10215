// Screen module 4, "WYJSCIA": the remote module's outputs, switched by check boxes and shown
// as numbers.
#pragma once

#include <cstdint>

#include "graphics/context.hpp"
#include "vars/pvar.hpp"
#include "widgets/canvas.hpp"
#include "widgets/checkbox.hpp"
#include "widgets/pushbutton.hpp"

// Enters screen 4: refills the variable table, tears the current screen down, builds this one.
void _frame4();
void InitWidget4();
void FreeWidget4();

extern CanvasRecord CanvasFrame4;
extern PushButtonRecord TextPushButton60;  // "DIODY"
extern PushButtonRecord TextPushButton62;  // "WEJSCIA"
extern PushButtonRecord TextPushButton85;  // "WYJSCIA"
extern PushButtonRecord TextPushButton87;  // "SMS/MAIL"
extern CheckBoxRecord CheckBox16;          // DO1, Dev_1_AO10
extern CheckBoxRecord CheckBox21;          // DO2, Dev_1_AO11
extern CheckBoxRecord CheckBox46;          // PO1, Dev_1_AO12
extern CheckBoxRecord CheckBox155;         // PO2, Dev_1_AO13
extern CheckBoxRecord CheckBox178;         // PO3, Dev_1_AO14
extern CheckBoxRecord CheckBox183;         // PO4, Dev_1_AO15
extern CanvasRecord Label22;               // Dev_1_AO10
extern CanvasRecord Label23;               // Dev_1_AO11
extern CanvasRecord Label35;               // Dev_1_AO12
extern CanvasRecord Label13;               // Dev_1_AO13
extern CanvasRecord Label36;               // Dev_1_AO14
extern CanvasRecord Label17;               // Dev_1_AO15

void OnFrame455Paint(WidgetRecord* canvas, DrawContext* context);
void renderFrame455Vector(DrawContext* context, int32_t x, int32_t y);
void _OnTextPushButton60Click(WidgetRecord* button);
void _OnTextPushButton60Release(WidgetRecord* button);
void _OnTextPushButton62Click(WidgetRecord* button);
void _OnTextPushButton62Release(WidgetRecord* button);
void _OnTextPushButton85Click(WidgetRecord* button);
void _OnTextPushButton85Release(WidgetRecord* button);
void _OnTextPushButton87Click(WidgetRecord* button);
void _OnTextPushButton87Release(WidgetRecord* button);
void _OnCheckBox16CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox21CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox46CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox155CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox178CheckChange(WidgetRecord* checkBox, uint32_t state);
void _OnCheckBox183CheckChange(WidgetRecord* checkBox, uint32_t state);
void display_Dev_1_AO10(VarRecord* variable);
void display_Dev_1_AO11(VarRecord* variable);
void display_Dev_1_AO12(VarRecord* variable);
void display_Dev_1_AO13(VarRecord* variable);
void display_Dev_1_AO14(VarRecord* variable);
void display_Dev_1_AO15(VarRecord* variable);
