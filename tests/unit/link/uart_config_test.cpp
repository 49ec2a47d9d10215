// Opening the serial port: configuration strings, the line-control word, the UART1 set-up.
#include <gtest/gtest.h>

#include <string>

#include "link/hmi_uart.hpp"
#include "periph/hw_regs.hpp"
#include "periph/sysctl.hpp"
#include "support/fresh_board.hpp"
#include "uart.hpp"

namespace {

using hmi_uart::ParseConfiguration;

// The format UART1 runs with, its baud rate as nominal within the divisor's rounding.
void ExpectFormat(const sim::Uart& uart, uint32_t baud, const char* frame) {
    const sim::LineFormat format = uart.configuredFormat();
    EXPECT_NEAR(uart.configuredBaud(), baud, baud * 0.002);
    EXPECT_EQ(std::to_string(format.dataBits) + format.parity + std::to_string(format.stopBits),
              frame);
}

struct Case {
    const char* configuration;
    uint32_t port;
    uint32_t baud;
    uint32_t lineControl;
};

TEST(UartConfiguration, FieldsDefaultsAndTokenizing) {
    const Case cases[] = {
        {"COM0,115200,N,8,1", 0, 115200, 0x60},
        {nullptr, 1, 115200, 0x60},
        {"", 1, 115200, 0x60},
        {",,,", 1, 115200, 0x60},
        {"COM0,9600", 0, 9600, 0x60},
        {"COM7", 7, 115200, 0x60},
        // An empty field is no field: 8 becomes the parity, 1 the data bits.
        {"COM0,115200,,8,1", 0, 115200, 0x60},
        {"COM2,19200,,,7", 2, 19200, 0x60},
        {"COM0,115200,E,8,1", 0, 115200, 0x66},
        {"COM0,115200,O,7,2", 0, 115200, 0x4A},
        {"COM0,115200,M,6,1", 0, 115200, 0xA2},
        {"COM0,115200,S,5,2", 0, 115200, 0x8E},
        {"COM0,115200,e,8,1", 0, 115200, 0x60},  // upper-case letters only
        {"COM0,115200,N,9,1", 0, 115200, 0x60},
        {"COM0,115200,N,8,3", 0, 115200, 0x60},
        {"XYZ12,300,N,8,2", 12, 300, 0x68},  // the first three characters are not examined
        {"COM", 0, 115200, 0x60},
        {"COM-1,1200", 65535, 1200, 0x60},  // the port number is cut to 16 bits
    };
    for (const Case& c : cases) {
        const auto settings = ParseConfiguration(c.configuration);
        const char* name = c.configuration != nullptr ? c.configuration : "(null)";
        EXPECT_EQ(settings.port, c.port) << name;
        EXPECT_EQ(settings.baud, c.baud) << name;
        EXPECT_EQ(settings.lineControl, c.lineControl) << name;
    }
}

TEST(UartConfiguration, StringsBeyondTheLimitsFallBackToTheDefaults) {
    const char* broken[] = {
        "COM0,115200,E,8,1,extra",    // six fields
        "COM0,115200,E,8,1,",         // fine: a trailing comma adds no field
        "COM0,1152000000,E,8,1",      // baud field of 10 characters
        "COM0,115200,EVEN,8,1",       // fine: 4 characters
        "COM0,115200,EVENPARI,8,1",   // field of 8 characters (and 24 in all)
        "COM0,9600,E,8,1          ",  // 25 characters
        "C,9600,E",                   // port field under three characters
        "COM0,0,E",                   // baud not positive
        "COM0,-9600,E",
        "COM0,96k,E",
    };
    const bool accepted[] = {false, true, false, true, false, false, false, false, false, false};
    for (size_t i = 0; i < std::size(broken); ++i) {
        const auto settings = ParseConfiguration(broken[i]);
        if (accepted[i]) {
            EXPECT_EQ(settings.port, 0u) << broken[i];
            EXPECT_EQ(settings.lineControl, 0x66u) << broken[i];
        } else {
            EXPECT_EQ(settings.port, 1u) << broken[i];
            EXPECT_EQ(settings.baud, 115200u) << broken[i];
            EXPECT_EQ(settings.lineControl, 0x60u) << broken[i];
        }
    }
    const std::string longest = "COM3,9600,E,8,1" + std::string(8, ',');
    ASSERT_EQ(longest.size(), 23u);
    EXPECT_EQ(ParseConfiguration(longest.c_str()).port, 3u) << "exactly 23 characters";
    EXPECT_EQ(ParseConfiguration((longest + ",").c_str()).port, 1u);
}

TEST(UartOpen, SetsUpUart1ForTheLineAndReturnsThePortNumber) {
    sim::Board& board = FreshBoard();
    SysCtlClockSet(sysctl::kConfig50MHzFromPll8MHzCrystal);
    ASSERT_TRUE(FreshCore().interruptsMasked() == false);
    EXPECT_EQ(uart_Open("COM0,115200,N,8,1"), 0u);

    sim::Uart& uart = sim::Uart1(board);
    EXPECT_TRUE(uart.enabled());
    EXPECT_TRUE(uart.fifosEnabled());
    ExpectFormat(uart, 115200, "8N1");
    EXPECT_EQ(board.debugRead(hw::uart::kUart1 + hw::uart::kIbrd), 27u);
    EXPECT_EQ(board.debugRead(hw::uart::kUart1 + hw::uart::kFbrd), 8u);
    EXPECT_EQ(board.debugRead(hw::uart::kUart1 + hw::uart::kIfls), 0u) << "both levels at 1/8";
    EXPECT_EQ(uart.interruptMask(), 0x50u) << "receive and receive time-out only";
    EXPECT_TRUE(board.nvic().isEnabled(sim::Uart::kIrq));
    EXPECT_EQ(board.gpio('D').alternate() & 0x0C, 0x0C);
    EXPECT_TRUE(uart.lineErrors().empty());
    EXPECT_TRUE(board.faults().empty());

    EXPECT_EQ(uart_Open(nullptr), 1u);
    ExpectFormat(uart, 115200, "8N1");
    EXPECT_EQ(uart_Open("COM0,9600,E,7,2"), 0u);
    ExpectFormat(uart, 9600, "7E2");
}

TEST(UartOpen, WithoutUart1OnlyThePinsAreSetUp) {
    sim::BoardConfig config;
    config.sysctl.uart1Present = false;
    sim::Board& board = FreshBoard(config);
    EXPECT_EQ(uart_Open("COM0,115200,N,8,1"), 0u);
    EXPECT_EQ(board.gpio('D').alternate() & 0x0C, 0x0C);
    EXPECT_FALSE(sim::Uart1(board).enabled());
    EXPECT_TRUE(board.faults().empty()) << "the gated UART is never touched";
}

}  // namespace
