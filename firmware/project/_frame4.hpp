// Screen module 4: its entry function, builder and tear-down.
#pragma once

// Enters screen 4: refills the variable table, tears the current screen down, builds this one.
void _frame4();
void InitWidget4();
void FreeWidget4();
