# The project the firmware is built for: its folder under projects/, holding its description
# (project.toml), the host's register map that tools/projgen generates beside it
# (module_registers.hpp) and, in the folder the description's `sources` names, the firmware's
# generated project sources and the project's own hooks. Each project builds in its own build
# folder (cmake --preset host-release -B build/host-release-pump -DPANEL_PROJECT=projects/pump).
set(PANEL_PROJECT projects/demo CACHE STRING
    "The project to build: its folder (with project.toml), relative to the source tree")
get_filename_component(PANEL_PROJECT_DIR ${PANEL_PROJECT} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
set(PANEL_PROJECT_DESCRIPTION ${PANEL_PROJECT_DIR}/project.toml)
if(NOT EXISTS ${PANEL_PROJECT_DESCRIPTION})
    message(FATAL_ERROR "PANEL_PROJECT=${PANEL_PROJECT}: no project.toml in ${PANEL_PROJECT_DIR}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PANEL_PROJECT_DESCRIPTION})
get_filename_component(PANEL_PROJECT_NAME ${PANEL_PROJECT_DIR} NAME)
set(PANEL_PROJECT_IS_DEMO FALSE)
if(PANEL_PROJECT_DIR STREQUAL "${PROJECT_SOURCE_DIR}/projects/demo")
    set(PANEL_PROJECT_IS_DEMO TRUE)
endif()

# panel_project_sources(<project folder> <variable>): the folder of the project's generated
# firmware sources, from its description's [project] sources line (projgen reads the same).
function(panel_project_sources folder variable)
    file(STRINGS ${folder}/project.toml line REGEX "^sources *= *\"[^\"]*\"")
    if(NOT line)
        message(FATAL_ERROR "${folder}/project.toml has no line sources = \"...\"")
    endif()
    string(REGEX REPLACE "^sources *= *\"([^\"]*)\".*$" "\\1" relative "${line}")
    get_filename_component(absolute ${relative} ABSOLUTE BASE_DIR ${folder})
    set(${variable} ${absolute} PARENT_SCOPE)
endfunction()
panel_project_sources(${PANEL_PROJECT_DIR} PANEL_PROJECT_SOURCES)
# The firmware includes the project's files as project/...: their folder's parent is searched.
get_filename_component(PANEL_PROJECT_INCLUDE_ROOT ${PANEL_PROJECT_SOURCES} DIRECTORY)
foreach(generated ${PANEL_PROJECT_SOURCES}/_frame0.cpp ${PANEL_PROJECT_DIR}/module_registers.hpp)
    if(NOT EXISTS ${generated})
        message(FATAL_ERROR "${generated} is missing: generate the project's sources first "
            "(tools/projgen ${PANEL_PROJECT}/project.toml)")
    endif()
endforeach()
message(STATUS "Project: ${PANEL_PROJECT} (sources ${PANEL_PROJECT_SOURCES})")
