# paramblock new / add / read on one area file: the reader names the block the firmware selects.
function(run)
    execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "paramblock ${ARGN} failed (${result}): ${err}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE ${AREA})
run(new ${AREA})
file(SIZE ${AREA} size)
if(NOT size EQUAL 3072)
    message(FATAL_ERROR "new area is ${size} bytes")
endif()
run(add ${AREA} --set 0 1 0 0 0 1 0 1)
run(add ${AREA} --set 1 -5 6 -7 8 -9 10 -11 --set 3 010 0x10 3 4 5 6 7)
run(read ${AREA})
foreach(expected
        "slot 0 at 0x3F400: sequence 0\n"
        "slot 1 at 0x3F600: sequence 1  <- current"
        "calibration set 0: not stored"
        "calibration set 1: M0=-5 M1=6 M2=-7 M3=8 M4=-9 M5=10 M6=-11"
        "calibration set 3: M0=10 M1=16 M2=3")
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "read output lacks '${expected}':\n${output}")
    endif()
endforeach()

# A block the firmware would not select is refused, and the file left as it was: sequence 200
# is more than 128 ahead of the current block's 1.
file(READ ${AREA} before HEX)
execute_process(COMMAND ${TOOL} add ${AREA} --set 0 1 0 0 0 1 0 1 --sequence 200
    RESULT_VARIABLE result ERROR_VARIABLE err)
file(READ ${AREA} after HEX)
if(result EQUAL 0 OR NOT err MATCHES "slot 1 \\(sequence 1\\) would stay current" OR
   NOT before STREQUAL after)
    message(FATAL_ERROR "add of a block the firmware would not select: ${result} ${err}")
endif()

# An existing file is kept unless asked; a flash image keeps its size and contents around the
# area when its area is erased.
execute_process(COMMAND ${TOOL} new ${AREA} RESULT_VARIABLE result ERROR_VARIABLE err)
if(result EQUAL 0 OR NOT err MATCHES "exists")
    message(FATAL_ERROR "new over an existing area: ${result} ${err}")
endif()
set(FLASH ${AREA}.flash)
file(REMOVE ${FLASH})
execute_process(COMMAND truncate -s 262144 ${FLASH})
run(new ${FLASH} --force)
file(SIZE ${FLASH} size)
if(NOT size EQUAL 262144)
    message(FATAL_ERROR "new --force shrank a flash image to ${size} bytes")
endif()
file(READ ${FLASH} head LIMIT 16 HEX)
file(READ ${FLASH} area OFFSET 259072 LIMIT 4 HEX)
if(NOT head STREQUAL "00000000000000000000000000000000" OR NOT area STREQUAL "ffffffff")
    message(FATAL_ERROR "new --force changed more or less than the area: ${head} ${area}")
endif()
