#include "project/_frame5.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"

void _frame5() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 5;
    InitWidget5();
}

// Scaffolding: the screen's widgets, paint and variable binding land with the screens.
void InitWidget5() {}

// Scaffolding: unbinding the screen's variables and removing its widgets land with the screens.
void FreeWidget5() {}
