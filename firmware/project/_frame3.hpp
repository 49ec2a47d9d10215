// Screen module 3: its entry function, builder and tear-down.
#pragma once

// Enters screen 3: refills the variable table, tears the current screen down, builds this one.
void _frame3();
void InitWidget3();
void FreeWidget3();
