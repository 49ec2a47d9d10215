// The simulated board's own mechanisms: virtual time, GPIO pins, flash controller, faults.
#include <gtest/gtest.h>

#include <vector>

#include "board.hpp"
#include "periph/cpu.hpp"
#include "periph/hw_regs.hpp"
#include "periph/sysctl.hpp"
#include "gpio.hpp"
#include "support/fresh_board.hpp"
#include "systick.hpp"
#include "uart.hpp"

namespace {

TEST(Scheduler, EventsRunInTimeOrderAtTheirOwnCycle) {
    sim::Scheduler scheduler(1'000'000);
    std::vector<std::pair<int, sim::Cycles>> ran;
    scheduler.at(30, [&] { ran.push_back({3, scheduler.now()}); });
    scheduler.at(10, [&] { ran.push_back({1, scheduler.now()}); });
    const sim::EventId cancelled = scheduler.at(20, [&] { ran.push_back({2, scheduler.now()}); });
    scheduler.at(10, [&] {
        ran.push_back({4, scheduler.now()});
        scheduler.after(5, [&] { ran.push_back({5, scheduler.now()}); });
    });
    scheduler.cancel(cancelled);
    scheduler.advanceTo(100);
    EXPECT_EQ(ran, (std::vector<std::pair<int, sim::Cycles>>{{1, 10}, {4, 10}, {5, 15}, {3, 30}}));
    EXPECT_EQ(scheduler.now(), 100u);
}

TEST(Scheduler, TimeIsKeptAcrossAClockChange) {
    sim::Scheduler scheduler(10'000'000);
    scheduler.advance(10'000);  // 1 ms at 10 MHz
    scheduler.setClockHz(50'000'000);
    scheduler.advance(50'000);  // 1 ms at 50 MHz
    EXPECT_EQ(scheduler.nowPs(), 2 * sim::kPsPerMs);
    EXPECT_EQ(scheduler.cyclesFor(sim::kPsPerMs), 50'000u);
}

TEST(Gpio, MaskedStoresChangeOnlyTheAddressedPins) {
    sim::Board& board = FreshBoard();
    SysCtlPeripheralEnable(sysctl::kGpioC);
    HWREG(hw::gpio::kPortC + hw::gpio::kDir) = 0xFF;
    HWREG(hw::gpio::DataAddress(hw::gpio::kPortC, 0xFF)) = 0xA5;
    HWREG(hw::gpio::DataAddress(hw::gpio::kPortC, 0x40)) = 0x00;  // only pin 6
    EXPECT_EQ(board.gpio('C').outputLatch(), 0xE5 & ~0x40 & 0xFF);
    EXPECT_EQ(HWREG(hw::gpio::DataAddress(hw::gpio::kPortC, 0x0F)), 0x05u)
        << "a masked load returns only the addressed pins";

    // Input pins read what the outside supplies.
    HWREG(hw::gpio::kPortC + hw::gpio::kDir) = 0x0F;
    board.gpio('C').setExternalSource([] { return uint8_t{0x30}; });
    EXPECT_EQ(HWREG(hw::gpio::DataAddress(hw::gpio::kPortC, 0xFF)), 0x35u);
}

TEST(Gpio, PortBPin7NeedsTheLockKeyToChangeItsFunction) {
    sim::Board& board = FreshBoard();
    SysCtlPeripheralEnable(sysctl::kGpioB);
    const uint32_t port = hw::gpio::kPortB;
    EXPECT_EQ(HWREG(port + hw::gpio::kAfsel), 0x80u);
    HWREG(port + hw::gpio::kAfsel) = 0x00;
    EXPECT_EQ(board.gpio('B').alternate(), 0x80) << "committed pin keeps its function";

    HWREG(port + hw::gpio::kCr) = 0xFF;  // locked: ignored
    EXPECT_EQ(board.gpio('B').commit(), 0x7F);
    HWREG(port + hw::gpio::kLock) = hw::gpio::kLockKey;
    EXPECT_EQ(HWREG(port + hw::gpio::kLock), 0u);
    HWREG(port + hw::gpio::kCr) = 0x80;
    HWREG(port + hw::gpio::kAfsel) = 0x00;
    EXPECT_EQ(board.gpio('B').alternate(), 0x00);
    HWREG(port + hw::gpio::kLock) = 0;
    EXPECT_TRUE(board.gpio('B').locked());
}

TEST(FlashController, ProgramsOnlyWithTheKeyAndOnlyClearsBits) {
    sim::Board& board = FreshBoard();
    board.debugWrite(hw::flash::kFma, 0x2000);
    board.debugWrite(hw::flash::kFmd, 0x12345678);
    board.debugWrite(hw::flash::kFmc, hw::flash::kFmcWrite);  // no key
    EXPECT_EQ(board.flash().word(0x2000), 0xFFFFFFFFu);
    board.debugWrite(hw::flash::kFmc, hw::flash::kFmcKey | hw::flash::kFmcWrite);
    EXPECT_EQ(board.flash().word(0x2000), 0x12345678u);
    board.debugWrite(hw::flash::kFmd, 0xFFFF0000);
    board.debugWrite(hw::flash::kFmc, hw::flash::kFmcKey | hw::flash::kFmcWrite);
    EXPECT_EQ(board.flash().word(0x2000), 0x12340000u);
    board.debugWrite(hw::flash::kFmc, hw::flash::kFmcKey | hw::flash::kFmcErase);
    EXPECT_EQ(board.flash().word(0x2000), 0xFFFFFFFFu);
}

TEST(Faults, NothingMappedAndStoresToFlashAreReported) {
    sim::Board& board = FreshBoard();
    HWREG(0x40100000) = 1;
    HWREG(0x00002000) = 1;
    ASSERT_EQ(board.faults().size(), 2u);
    EXPECT_NE(board.faults()[0].what.find("nothing is mapped"), std::string::npos);
    EXPECT_NE(board.faults()[1].what.find("flash"), std::string::npos);
    EXPECT_EQ(board.faults()[1].address, 0x2000u);
}

// What the board does not model is a warning that names the model and the register: a mistyped
// offset in the firmware's register map shows up as one of these.
TEST(BoardWarnings, NameTheModelAndTheRegister) {
    using Kind = sim::WarningKind;
    struct Case {
        uint32_t address;
        bool store;
        Kind kind;
        const char* names;
    };
    const Case cases[] = {
        {0x4000D048, false, Kind::Unimplemented, "UART1 +0x048"},
        {0x4000D018, true, Kind::WriteToReadOnly, "UART1 FR"},
        {0x4000D044, false, Kind::ReadOfWriteOnly, "UART1 ICR"},
        {0x40004530, true, Kind::Unimplemented, "GPIO port A +0x530"},
        {0x40030048, true, Kind::WriteToReadOnly, "timer 0 TAR"},
        {0x40032024, false, Kind::ReadOfWriteOnly, "timer 2 ICR"},
        {0x40038028, false, Kind::ReadOfWriteOnly, "ADC 0 PSSI"},
        {0x4003804C, true, Kind::WriteToReadOnly, "ADC 0 SSFSTATn"},
        {0x400FE000, true, Kind::WriteToReadOnly, "system control DID0"},
        {0x400FE064, false, Kind::Unimplemented, "system control +0x064"},
        {0x400FD00C, true, Kind::WriteToReadOnly, "flash controller FCRIS"},
        {0xE000E01C, true, Kind::WriteToReadOnly, "core (NVIC, SysTick) STCALIB"},
        {0xE000EF00, true, Kind::Unimplemented, "core (NVIC, SysTick) +0xF00"},
    };
    sim::Board& board = FreshBoard();
    for (const Case& c : cases) {
        if (c.store) {
            board.debugWrite(c.address, 0x5A);
        } else {
            board.debugRead(c.address);
        }
        const std::vector<sim::BoardWarning> warnings = board.warnings().take();
        ASSERT_EQ(warnings.size(), 1u) << sim::Hex(c.address);
        EXPECT_EQ(warnings[0].kind, c.kind) << warnings[0].what;
        EXPECT_EQ(warnings[0].address, c.address);
        EXPECT_EQ(warnings[0].value, c.store ? 0x5Au : 0u);
        EXPECT_NE(warnings[0].what.find(c.names), std::string::npos) << warnings[0].what;
    }
    // Each byte of a word, the last word of a register array and an alias are registers.
    for (const uint32_t address : {0x4000D019u, 0x400043FCu, 0xE000E43Cu, 0x400FE108u}) {
        board.debugRead(address);
    }
    EXPECT_TRUE(board.warnings().take().empty());
}

// The bus decoder checks an access against a table it builds per mapping; every byte of the
// peripheral pages and the core's page, loaded, warns exactly where the model's own register
// list says it should (no register there, or a write-only one).
TEST(BoardWarnings, EveryLoadIsCheckedAgainstTheModelsRegisterList) {
    sim::Board& board = FreshBoard();
    board.warnings().take();
    uint32_t loads = 0;
    uint32_t warned = 0;
    const auto sweep = [&](uint32_t from, uint32_t to) {
        for (uint32_t address = from; address < to; ++address) {
            sim::Device* device = board.deviceAt(address);
            const sim::RegisterTable registers =
                device != nullptr ? device->registers() : sim::RegisterTable{};
            if (registers.empty()) {
                continue;
            }
            // Every mapping with registers starts on a page: the offset is the page's.
            const sim::Register* reg = sim::FindRegister(registers, address % 0x1000);
            const bool expected = reg == nullptr || reg->access == sim::Access::WriteOnly;
            board.debugRead(address, 1);
            const auto warnings = board.warnings().take();
            ++loads;
            warned += warnings.empty() ? 0 : 1;
            ASSERT_EQ(warnings.size(), expected ? 1u : 0u) << sim::Hex(address);
        }
    };
    sweep(0x40000000, 0x40100000);
    sweep(0xE000E000, 0xE000F000);
    EXPECT_GT(loads, 10u * 0x1000) << "the sweep found the models";
    EXPECT_LT(warned, loads) << "some offsets are registers";
}

}  // namespace

// A debugger's look at a register is a read without what reading does: the receive FIFO keeps
// its character and SysTick its COUNTFLAG until the firmware reads them; nothing is there to
// look at where no register is.
TEST(BoardPeek, LooksWithoutTakingWhatAReadTakes) {
    sim::Board& board = FreshBoard();
    const uint32_t dr = hw::uart::kUart1 + hw::uart::kDr;
    board.debugWrite(hw::gpio::kPortD + sim::gpio::AFSEL, 1u << 2);  // the receive pin to the UART
    board.debugWrite(hw::gpio::kPortD + sim::gpio::DEN, 1u << 2);
    board.debugWrite(hw::uart::kUart1 + sim::uart::CTL, sim::uart::CTL_UARTEN | sim::uart::CTL_RXE);
    sim::Uart1(board).receiveFromPeer(0x5A);
    board.debugWrite(hw::systick::kReload, 99);
    board.debugWrite(hw::systick::kCtrl, sim::systick::CTRL_ENABLE | sim::systick::CTRL_CLK_SRC);
    board.scheduler().advance(250);  // the counter wraps twice
    struct Case {
        uint32_t address;
        uint32_t mask;
        uint32_t seen;       // what a look and the firmware's first read see
        uint32_t afterRead;  // what the next look sees
    };
    for (const Case& c : {Case{dr, 0xFF, 0x5A, 0},
                          Case{hw::systick::kCtrl, sim::systick::CTRL_COUNT,
                               sim::systick::CTRL_COUNT, 0}}) {
        SCOPED_TRACE(sim::Hex(c.address));
        EXPECT_EQ(board.peek(c.address).value_or(~0u) & c.mask, c.seen);
        EXPECT_EQ(board.peek(c.address).value_or(~0u) & c.mask, c.seen);
        EXPECT_EQ(board.debugRead(c.address) & c.mask, c.seen);
        EXPECT_EQ(board.peek(c.address).value_or(~0u) & c.mask, c.afterRead);
    }
    EXPECT_FALSE(board.peek(hw::uart::kUart1 + 0xF00).has_value());  // no register there
    EXPECT_FALSE(board.peek(0x400FF000).has_value());                // nothing mapped
}
