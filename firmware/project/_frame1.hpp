// Screen module 1: its entry function, builder and tear-down.
#pragma once

// Enters screen 1: refills the variable table, tears the current screen down, builds this one.
void _frame1();
void InitWidget1();
void FreeWidget1();
