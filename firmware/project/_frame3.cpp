#include "project/_frame3.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"

void _frame3() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 3;
    InitWidget3();
}

// Scaffolding: the screen's widgets, paint and variable binding land with the screens.
void InitWidget3() {}

// Scaffolding: unbinding the screen's variables and removing its widgets land with the screens.
void FreeWidget3() {}
