# The firmware image: vector table first at 0x1800 with the system's entries, no heap.
include(${CMAKE_CURRENT_LIST_DIR}/image_words.cmake)

read_symbols(${NM} ${ELF})

foreach(required g_pfnVectors ResetISR NmiSR FaultISR IntDefaultHandler SysTickIntHandler pulStack main)
    if(NOT DEFINED SYM_${required})
        message(FATAL_ERROR "symbol ${required} missing from ${ELF}")
    endif()
endforeach()

expect_equal("g_pfnVectors address" ${SYM_g_pfnVectors} 0x1800)
expect_equal("g_pfnVectors size" ${SIZE_g_pfnVectors} 240)
expect_equal("pulStack size" ${SIZE_pulStack} 4096)

foreach(heap malloc free _sbrk _malloc_r _free_r)
    if(DEFINED SYM_${heap})
        message(SEND_ERROR "the image contains ${heap}: there must be no heap")
    endif()
endforeach()

# The raw image starts with the vector table (the image is linked at 0x1800).
math(EXPR stack_top "${SYM_pulStack} + 4096")
read_word(${BIN} 0 entry)
expect_equal("entry 0 (initial stack pointer)" ${entry} ${stack_top})

function(expect_handler index symbol)
    math(EXPR offset "${index} * 4")
    read_word(${BIN} ${offset} entry)
    math(EXPR thumb "${SYM_${symbol}} | 1")
    expect_equal("entry ${index} (${symbol})" ${entry} ${thumb})
endfunction()

expect_handler(1 ResetISR)
expect_handler(2 NmiSR)
expect_handler(3 FaultISR)
foreach(index 4 5 6 11 12 14)
    expect_handler(${index} IntDefaultHandler)
endforeach()
foreach(index 7 8 9 10 13)
    math(EXPR offset "${index} * 4")
    read_word(${BIN} ${offset} entry)
    expect_equal("reserved entry ${index}" ${entry} 0)
endforeach()
expect_handler(15 SysTickIntHandler)

# Peripheral entries: the handlers of the modules that own them, IntDefaultHandler elsewhere.
set(owned_22 UARTIntHandler)
set(owned_33 TouchScreenIntHandler)
set(owned_40 SoundIntHandler)
foreach(index RANGE 16 59)
    if(DEFINED owned_${index} AND DEFINED SYM_${owned_${index}})
        expect_handler(${index} ${owned_${index}})
    else()
        expect_handler(${index} IntDefaultHandler)
    endif()
endforeach()
