# Options shared by every target of the project.

# Warnings for the project's own code; -Werror keeps them from piling up.
set(PANEL_WARNINGS -Wall -Wextra -Werror)

# Firmware code generation: the same language subset on both platforms.
set(PANEL_FIRMWARE_FLAGS -fno-exceptions -fno-rtti -fno-threadsafe-statics)

option(PANEL_SANITIZE "Build host code with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(PANEL_SANITIZE AND NOT CMAKE_SYSTEM_NAME STREQUAL "Generic")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

option(PANEL_LONG_TESTS "Run soak and fuzz tests with their long budgets" OFF)
