// Screen module 5: its entry function, builder and tear-down.
#pragma once

// Enters screen 5: refills the variable table, tears the current screen down, builds this one.
void _frame5();
void InitWidget5();
void FreeWidget5();
