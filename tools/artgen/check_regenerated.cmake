# Runs artgen into OUT and fails unless it equals the committed picture source.
execute_process(
    COMMAND ${ARTGEN} --regular ${REGULAR} --bold ${BOLD} --out ${OUT}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "artgen failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${COMMITTED} RESULT_VARIABLE different)
if(NOT different EQUAL 0)
    message(FATAL_ERROR "the regenerated pictures differ from ${COMMITTED}")
endif()
message(STATUS "pictures regenerate identically")
