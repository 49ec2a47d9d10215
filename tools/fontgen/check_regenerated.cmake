# Runs fontgen into OUT_DIR and fails unless every font source equals the committed one (but for
# the command line recorded in it).
include(${CMAKE_CURRENT_LIST_DIR}/../gensource/same_source.cmake)
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(
    COMMAND ${FONTGEN} --regular ${REGULAR} --bold ${BOLD} --out-dir ${OUT_DIR}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "fontgen failed: ${result}")
endif()
foreach(name fontcm12.cpp fontcm14.cpp fontcm14b.cpp)
    same_source(${OUT_DIR}/${name} ${COMMITTED_DIR}/${name} same)
    if(NOT same)
        message(FATAL_ERROR "${name}: regenerated font differs from the committed source")
    endif()
endforeach()
message(STATUS "fonts regenerate identically")
