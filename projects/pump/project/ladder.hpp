// The ladder hook of the control cycle.
#pragma once

#include <cstdint>

// Runs the project's ladder routine; always 1.
int32_t ladder_main(int32_t arg);
