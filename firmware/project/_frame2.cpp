#include "project/_frame2.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"

void _frame2() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 2;
    InitWidget2();
}

// Scaffolding: the screen's widgets, paint and variable binding land with the screens.
void InitWidget2() {}

// Scaffolding: unbinding the screen's variables and removing its widgets land with the screens.
void FreeWidget2() {}
