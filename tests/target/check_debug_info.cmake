# The image with debug information against a build without it: the firmware's .bin and .hex and
# the combined image's must be byte for byte the same, and only the first ELF may carry the
# information (with a firmware function's address mapped back to its source line).
#   cmake -DSOURCE_DIR= -DBUILD_DIR= -DTOOLCHAIN= -DREADELF= -DADDR2LINE= -DNM= -DPYTHON=
#         -DPROJECT= -P check_debug_info.cmake

set(with ${BUILD_DIR})
set(without ${BUILD_DIR}/without-debug-info)
execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${without} -G Ninja
            -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
            -DPANEL_TARGET_DEBUG_INFO=OFF -DPANEL_PROJECT=${PROJECT}
    OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring the build without debug information failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${without} --target panel_combined
    OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "building without debug information failed:\n${out}")
endif()

foreach(file firmware/panel_firmware.bin firmware/panel_firmware.hex panel_combined.bin
             panel_combined.hex)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${with}/${file} ${without}/${file}
        RESULT_VARIABLE differs)
    if(differs)
        message(SEND_ERROR "${file} differs with and without debug information")
    else()
        message(STATUS "${file}: the same bytes with and without debug information")
    endif()
endforeach()

# The image carries the tables; a firmware function, and a hand-written driver entry, map back to
# their lines in it, and to no line in the build without (whose few tables are the C library's).
execute_process(COMMAND ${READELF} -S -W ${with}/firmware/panel_firmware.elf
    OUTPUT_VARIABLE with_sections)
foreach(section .debug_info .debug_line)
    if(NOT with_sections MATCHES "\\${section} ")
        message(SEND_ERROR "the image has no ${section}")
    endif()
endforeach()
execute_process(COMMAND ${NM} -C ${with}/firmware/panel_firmware.elf OUTPUT_VARIABLE symbols)
foreach(pair "hmi_GotoFrame|project/_frame0.cpp" "hx8347_landscape_pixel_draw|display/hx8347_runs.S")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 function)
    list(GET pair 1 source)
    if(NOT symbols MATCHES "([0-9a-f]+) [Tt] ${function}[(\n]")
        message(SEND_ERROR "no ${function} in the image")
        continue()
    endif()
    set(address 0x${CMAKE_MATCH_1})
    execute_process(COMMAND ${ADDR2LINE} -e ${with}/firmware/panel_firmware.elf ${address}
        OUTPUT_VARIABLE line OUTPUT_STRIP_TRAILING_WHITESPACE)
    execute_process(COMMAND ${ADDR2LINE} -e ${without}/firmware/panel_firmware.elf ${address}
        OUTPUT_VARIABLE no_line OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT line MATCHES "/${source}:[0-9]+")
        message(SEND_ERROR "${function} maps to '${line}', not to a line of ${source}")
    elseif(NOT no_line MATCHES "^\\?\\?:")
        message(SEND_ERROR "${function} maps to '${no_line}' in the build without debug information")
    else()
        message(STATUS "${function}: ${line} (without debug information: ${no_line})")
    endif()
endforeach()

# The stack gate reads the image's vector table and code: debug sections must change nothing of
# what it finds.
foreach(tree with without)
    execute_process(
        COMMAND ${PYTHON} ${SOURCE_DIR}/tools/stack-gate/stack_gate.py
                --elf ${${tree}}/firmware/panel_firmware.elf
                --frames ${${tree}}/firmware/CMakeFiles/panel_firmware.dir
                --bounds ${SOURCE_DIR}/tools/stack-gate/indirect_calls.txt --limit 2048
        OUTPUT_VARIABLE gate_${tree} ERROR_VARIABLE gate_${tree} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(SEND_ERROR "the stack gate failed on the image ${tree} debug information:\n${gate_${tree}}")
    endif()
endforeach()
if(NOT gate_with STREQUAL gate_without)
    message(SEND_ERROR "the stack gate reports differently with debug information:\n${gate_with}\nwithout:\n${gate_without}")
else()
    string(REGEX MATCH "worst-case stack [0-9]+ bytes" worst "${gate_with}")
    message(STATUS "stack gate: the same report with and without debug information (${worst})")
endif()
