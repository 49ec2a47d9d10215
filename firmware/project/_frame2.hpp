// Screen module 2: its entry function, builder and tear-down.
#pragma once

// Enters screen 2: refills the variable table, tears the current screen down, builds this one.
void _frame2();
void InitWidget2();
void FreeWidget2();
