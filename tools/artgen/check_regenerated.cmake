# Runs artgen into OUT and fails unless it equals the committed picture source (but for the
# command line recorded in it).
include(${CMAKE_CURRENT_LIST_DIR}/../gensource/same_source.cmake)
execute_process(
    COMMAND ${ARTGEN} --regular ${REGULAR} --bold ${BOLD} --out ${OUT}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "artgen failed: ${result}")
endif()
same_source(${OUT} ${COMMITTED} same)
if(NOT same)
    message(FATAL_ERROR "the regenerated pictures differ from ${COMMITTED}")
endif()
message(STATUS "pictures regenerate identically")
