#include "project/_frame4.hpp"

#include "project/_dict.hpp"
#include "project/_frame0.hpp"

void _frame4() {
    var_table_init();
    FreeCurrentFrame();
    _CurrentFrame = 4;
    InitWidget4();
}

// Scaffolding: the screen's widgets, paint and variable binding land with the screens.
void InitWidget4() {}

// Scaffolding: unbinding the screen's variables and removing its widgets land with the screens.
void FreeWidget4() {}
