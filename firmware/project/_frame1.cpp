#include "project/_frame1.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"

void _frame1() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 1;
    InitWidget1();
}

// Scaffolding: the screen's widgets, paint and variable binding land with the screens.
void InitWidget1() {}

// Scaffolding: unbinding the screen's variables and removing its widgets land with the screens.
void FreeWidget1() {}
