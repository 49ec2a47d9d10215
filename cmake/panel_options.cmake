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

# The fuzz preset: code that is not under test - the fuzz targets' own harness and oracles, the
# simulated board, the test support - gets no coverage feedback. Its comparisons took most of a
# target's time and would steer the fuzzer by the harness rather than by the code under test.
if(PANEL_FUZZ)
    set(PANEL_FUZZ_UNINSTRUMENTED ${CMAKE_BINARY_DIR}/fuzz-uninstrumented.txt)
    file(WRITE ${PANEL_FUZZ_UNINSTRUMENTED}
        "src:${PROJECT_SOURCE_DIR}/fuzz/*\n"
        "src:${PROJECT_SOURCE_DIR}/sim/*\n"
        "src:${PROJECT_SOURCE_DIR}/tests/support/*\n")
    add_compile_options(-fsanitize-coverage-ignorelist=${PANEL_FUZZ_UNINSTRUMENTED})
endif()
