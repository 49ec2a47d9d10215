# Runs fontgen into OUT_DIR and fails unless every font source equals the committed one.
file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR})
execute_process(
    COMMAND ${FONTGEN} --regular ${REGULAR} --bold ${BOLD} --out-dir ${OUT_DIR}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "fontgen failed: ${result}")
endif()
foreach(name fontcm12.cpp fontcm14.cpp fontcm14b.cpp)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT_DIR}/${name} ${COMMITTED_DIR}/${name}
        RESULT_VARIABLE different)
    if(NOT different EQUAL 0)
        message(FATAL_ERROR "${name}: regenerated font differs from the committed source")
    endif()
endforeach()
message(STATUS "fonts regenerate identically")
