// The formatter: conversions, widths and fills, "ERROR", and output cut to the buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "graphics/ustdlib.hpp"

namespace {

std::string Format(const char* format, ...) {
    char buffer[128];
    std::memset(buffer, '#', sizeof(buffer));
    va_list arguments;
    va_start(arguments, format);
    const uint32_t count = uvsnprintf(buffer, sizeof(buffer), format, arguments);
    va_end(arguments);
    EXPECT_EQ(count, std::strlen(buffer)) << format;
    return buffer;
}

uint32_t FormatInto(char* buffer, uint32_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint32_t count = uvsnprintf(buffer, size, format, arguments);
    va_end(arguments);
    return count;
}

// Formats into a buffer of the given size inside a larger one, to see what was stored.
struct Limited {
    char bytes[16];
    uint32_t count;
    Limited(uint32_t size, const char* format, ...) {
        std::memset(bytes, '#', sizeof(bytes));
        va_list arguments;
        va_start(arguments, format);
        count = uvsnprintf(bytes, size, format, arguments);
        va_end(arguments);
    }
};

TEST(Formatter, Numbers) {
    EXPECT_EQ(Format("%d", 0), "0");
    EXPECT_EQ(Format("%d", INT32_MIN), "-2147483648");
    EXPECT_EQ(Format("%d|%d", 7, -7), "7|-7");
    EXPECT_EQ(Format("%u", UINT32_MAX), "4294967295");
    EXPECT_EQ(Format("%u", 1000000000u), "1000000000");
    EXPECT_EQ(Format("%x", 255), "FF");
    EXPECT_EQ(Format("%X %x", 0xFFFFFFFFu, 0x10u), "FFFFFFFF 10");
    EXPECT_EQ(Format("%08X", 0xBEEF), "0000BEEF");
    int local = 0;
    const std::string pointer = Format("%p", static_cast<void*>(&local));
    char expected[16];
    std::snprintf(expected, sizeof(expected), "%X",
                  static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&local)));
    EXPECT_EQ(pointer, expected);
}

TEST(Formatter, WidthAndFill) {
    EXPECT_EQ(Format("%05d", -42), "-0042");
    EXPECT_EQ(Format("%5d", -42), "  -42");
    EXPECT_EQ(Format("%50d", 1), std::string(49, ' ') + "1");
    EXPECT_EQ(Format("%3d", 12345), "12345");
    EXPECT_EQ(Format("%3d", -12), "-12");
    EXPECT_EQ(Format("%005u", 7u), "00007");
    EXPECT_EQ(Format("%5s|", "ab"), "ab   |");
    EXPECT_EQ(Format("%05s|", "ab"), "ab   |");
    EXPECT_EQ(Format("%1s", "abc"), "abc");
    EXPECT_EQ(Format("%5c%5%", 'z'), "z%");
    EXPECT_EQ(Format("100%%"), "100%");
}

TEST(Formatter, UnknownConversionsPrintError) {
    EXPECT_EQ(Format("%-5d", 3), "ERROR5d");
    EXPECT_EQ(Format("%ld", 3), "ERRORd");
    // No argument is taken by the failed conversion.
    EXPECT_EQ(Format("%q%d", 8), "ERROR8");
    // A lone '%' at the end, or a width cut by the end: ERROR, and nothing is read past the NUL.
    char format[] = {'a', '%', '\0', 'd', '\0'};
    EXPECT_EQ(Format(format, 5), "aERROR");
    char widthOnly[] = {'%', '1', '2', '\0', 'd', '\0'};
    EXPECT_EQ(Format(widthOnly, 5), "ERROR");
}

TEST(Formatter, PaddingBeyondTheLimitIsDropped) {
    const Limited largest(8, "%65535d", 7);
    EXPECT_EQ(largest.count, 65535u);
    EXPECT_STREQ(largest.bytes, "       ");
    const Limited beyond(8, "%65536d", 7);
    EXPECT_EQ(beyond.count, 1u);
    EXPECT_STREQ(beyond.bytes, "7");
    const Limited negative(8, "%065537d", -7);
    EXPECT_EQ(negative.count, 2u);
    EXPECT_STREQ(negative.bytes, "-7");
}

TEST(Formatter, OutputIsCutToTheBufferButCountedInFull) {
    const Limited number(4, "%d", 12345);
    EXPECT_EQ(number.count, 5u);
    EXPECT_STREQ(number.bytes, "123");

    const Limited error(3, "%q");
    EXPECT_EQ(error.count, 5u);
    EXPECT_STREQ(error.bytes, "ER");

    const Limited one(1, "%05d", -42);
    EXPECT_EQ(one.count, 5u);
    EXPECT_EQ(one.bytes[0], '\0');
    EXPECT_EQ(one.bytes[1], '#');

    const Limited none(0, "ab");
    EXPECT_EQ(none.count, 2u);
    EXPECT_EQ(none.bytes[0], '#');

    const Limited padded(6, "%10s", "xy");
    EXPECT_EQ(padded.count, 10u);
    EXPECT_STREQ(padded.bytes, "xy   ");
}

// Widths and counts near 2^32 saturate: nothing is written outside the buffer (guards on both
// sides), what fits is the start of the complete output, and a length beyond 32 bits is
// reported as 0xFFFFFFFF.
TEST(Formatter, CountsAndWidthsSaturateInsteadOfWrapping) {
    struct Case {
        uint32_t size;
        const char* format;
        const char* stored;
        uint32_t count;
    };
    const Case cases[] = {
        {16, "%4294967295sx", "               ", 0xFFFFFFFFu},
        {16, "ab%4294967295sXY", "ab             ", 0xFFFFFFFFu},
        {16, "ab%4294967293s", "ab             ", 0xFFFFFFFFu},
        {16, "ab%4294967292s", "ab             ", 0xFFFFFFFEu},
        {16, "%99999999999999999999s!", "               ", 0xFFFFFFFFu},
        {16, "%4294967296s|", "               ", 0xFFFFFFFFu},  // wrapped to 0 before
        {4, "%4294967295s%4294967295s", "   ", 0xFFFFFFFFu},
        {0, "%4294967295sx", "", 0xFFFFFFFFu},
    };
    // A width that wrapped to 7 would pad; a saturated one is beyond the padding limit.
    EXPECT_EQ(Format("%4294967303d", 7), "7");
    for (const Case& c : cases) {
        char guarded[48];
        std::memset(guarded, '#', sizeof(guarded));
        char* buffer = guarded + 16;
        const uint32_t count = FormatInto(buffer, c.size, c.format, "", "");
        EXPECT_EQ(count, c.count) << c.format;
        if (c.size != 0) {
            EXPECT_STREQ(buffer, c.stored) << c.format;
        }
        for (uint32_t i = 0; i < sizeof(guarded); ++i) {
            const bool inside = i >= 16 && i < 16 + c.size;
            if (!inside) {
                EXPECT_EQ(guarded[i], '#') << c.format << ": byte " << int(i) - 16 << " written";
            }
        }
    }
}

TEST(Formatter, UsprintfFillsTheValueBuffersOfTheScreens) {
    char value[13];
    EXPECT_EQ(usprintf(value, "%d", INT32_MIN), 11u);
    EXPECT_STREQ(value, "-2147483648");
    EXPECT_STREQ(g_pcHex, "0123456789ABCDEF");
}

}  // namespace
