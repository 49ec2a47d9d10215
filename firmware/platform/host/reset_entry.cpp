// Reset entry on the host: the C++ runtime has initialised the data already, so reset only runs
// main (compiled under another name so the executable keeps its own).
#include "core/main.hpp"
#include "core/startup.hpp"

void ResetISR() {
    main();
}
