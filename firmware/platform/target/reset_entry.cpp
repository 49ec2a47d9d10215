// Reset entry on the target: initialise RAM from the linker's boundary symbols, then run main.
#include <cstdint>

#include "core/main.hpp"
#include "core/startup.hpp"

extern uint32_t _etext;
extern uint32_t _data;
extern uint32_t _edata;
extern uint32_t _bss;
extern uint32_t _ebss;

// Plain word loops: nothing here may rely on initialised data or on library routines.
__attribute__((optimize("no-tree-loop-distribute-patterns"))) void ResetISR() {
    const uint32_t* source = &_etext;
    for (uint32_t* destination = &_data; destination < &_edata;) {
        *destination++ = *source++;
    }
    for (uint32_t* destination = &_bss; destination < &_ebss;) {
        *destination++ = 0;
    }
    main();
}
