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

# The target image with full debug information for its sources, so that a debugger shows source
# lines, locals and records. It stays in the ELF's own sections: the flashed bytes are the same
# without it (tests/target builds both and compares them).
option(PANEL_TARGET_DEBUG_INFO "Build the target image with full debug information" ON)
if(PANEL_TARGET_DEBUG_INFO AND CMAKE_SYSTEM_NAME STREQUAL "Generic")
    add_compile_options(-g)
endif()

# The fuzz preset: code that is not under test - the fuzz targets' own harness and oracles, the
# simulated board, the test support - gets no coverage feedback. Its comparisons took most of a
# target's time and would steer the fuzzer by the harness rather than by the code under test.
if(PANEL_FUZZ)
    set(PANEL_FUZZ_UNINSTRUMENTED ${CMAKE_BINARY_DIR}/fuzz-uninstrumented.txt)
    file(WRITE ${PANEL_FUZZ_UNINSTRUMENTED}
        "src:${PROJECT_SOURCE_DIR}/fuzz/*\n"
        # The simulator but its image loader (arm_core/firmware_image.cpp), which a target
        # fuzzes: the patterns name every other file ([!x]: any character but x).
        "src:${PROJECT_SOURCE_DIR}/sim/[!a]*\n"
        "src:${PROJECT_SOURCE_DIR}/sim/adc*\n"
        "src:${PROJECT_SOURCE_DIR}/sim/arm_core/[!f]*\n"
        "src:${PROJECT_SOURCE_DIR}/tests/support/*\n")
    add_compile_options(-fsanitize-coverage-ignorelist=${PANEL_FUZZ_UNINSTRUMENTED})
endif()
