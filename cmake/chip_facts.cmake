# The chip's facts (chip/chip_facts.h) as CMake variables of the same names, read once, so that the
# linker scripts and the image steps take the numbers from the header the code includes.
# Only plain numeric defines are read; the header's initialiser lists are left to the compilers.
set(CHIP_FACTS_HEADER ${PROJECT_SOURCE_DIR}/chip/chip_facts.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CHIP_FACTS_HEADER})
file(STRINGS ${CHIP_FACTS_HEADER} chip_fact_lines
    REGEX "^#define CHIP_[A-Z0-9_]+ +(0x[0-9A-Fa-f]+|[0-9]+)[ \t]*(/\\*.*)?$")
foreach(line IN LISTS chip_fact_lines)
    string(REGEX REPLACE "^#define (CHIP_[A-Z0-9_]+) +([0-9A-Fa-fx]+).*$" "\\1;\\2" fact "${line}")
    list(GET fact 0 name)
    list(GET fact 1 value)
    set(${name} ${value})
endforeach()
foreach(required CHIP_IMAGE_BASE CHIP_BOOT_SIZE CHIP_PARAM_BASE CHIP_SRAM_BASE CHIP_SRAM_SIZE)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${CHIP_FACTS_HEADER} defines no ${required}")
    endif()
endforeach()

# chip_linker_script(<template> <output>): the template's @CHIP_...@ replaced by the facts.
function(chip_linker_script template output)
    configure_file(${template} ${output} @ONLY)
endfunction()
