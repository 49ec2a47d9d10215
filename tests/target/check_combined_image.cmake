# The combined image: the boot loader at 0, padding up to 0x1800, then the firmware image.
include(${CMAKE_CURRENT_LIST_DIR}/image_words.cmake)

read_symbols(${NM} ${BOOT_ELF})
expect_equal("boot vector table address" ${SYM_g_pfnBootVectors} 0)

read_word(${COMBINED_BIN} 0 stack)
expect_equal("boot stack pointer" ${stack} 0x20010000)
read_word(${COMBINED_BIN} 4 reset)
if(reset EQUAL 0 OR reset GREATER_EQUAL 0x1800)
    message(SEND_ERROR "boot reset entry ${reset} is not inside the boot loader")
endif()
read_word(${COMBINED_BIN} 0x2C update)
if(update EQUAL 0 OR update GREATER_EQUAL 0x1800)
    message(SEND_ERROR "boot update entry (word at 0x2C) ${update} is not inside the boot loader")
endif()

file(SIZE ${FIRMWARE_BIN} firmware_size)
file(SIZE ${COMBINED_BIN} combined_size)
math(EXPR expected_size "0x1800 + ${firmware_size}")
expect_equal("combined image size" ${combined_size} ${expected_size})

file(READ ${FIRMWARE_BIN} firmware_hex HEX)
file(READ ${COMBINED_BIN} tail_hex OFFSET 6144 HEX)
if(NOT firmware_hex STREQUAL tail_hex)
    message(SEND_ERROR "the combined image does not hold the firmware image at 0x1800")
endif()
