# Toolchain file for the panel's Cortex-M3 target (Debian's arm-none-eabi-gcc).
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)
set(CMAKE_OBJCOPY arm-none-eabi-objcopy CACHE FILEPATH "")
set(CMAKE_SIZE arm-none-eabi-size CACHE FILEPATH "")
set(CMAKE_NM arm-none-eabi-nm CACHE FILEPATH "")

# Compiler checks would try to link a hosted program; a static library needs no start-up code.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(PANEL_CPU_FLAGS "-mcpu=cortex-m3 -mthumb")
# min-pagesize=0: flash at address 0 is real memory, not a null-pointer page.
set(PANEL_CODEGEN_FLAGS "-ffunction-sections -fdata-sections --param=min-pagesize=0")
set(CMAKE_C_FLAGS_INIT "${PANEL_CPU_FLAGS} ${PANEL_CODEGEN_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${PANEL_CPU_FLAGS} ${PANEL_CODEGEN_FLAGS}")
set(CMAKE_ASM_FLAGS_INIT "${PANEL_CPU_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${PANEL_CPU_FLAGS} -nostartfiles --specs=nano.specs -Wl,--gc-sections")
# Size-optimised release; set before the compiler modules would add their -O3 default.
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG" CACHE STRING "")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG" CACHE STRING "")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
