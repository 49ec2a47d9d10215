// The host side of the firmware's register-access layer: every call lands on the process's
// simulated board.
#include <cstdio>
#include <cstdlib>

#include "board.hpp"
#include "platform_hwreg.hpp"

namespace hostbus {

uint32_t Read32(uint32_t address) {
    return sim::Board::instance().cpuRead(address, 4);
}
void Write32(uint32_t address, uint32_t value) {
    sim::Board::instance().cpuWrite(address, value, 4);
}
uint8_t Read8(uint32_t address) {
    return static_cast<uint8_t>(sim::Board::instance().cpuRead(address, 1));
}
void Write8(uint32_t address, uint8_t value) {
    sim::Board::instance().cpuWrite(address, value, 1);
}

uint32_t InterruptsOff() {
    return sim::Board::instance().interruptsOff();
}
uint32_t InterruptsOn() {
    return sim::Board::instance().interruptsOn();
}
uint8_t LoadExclusiveByte(volatile uint8_t* address) {
    return sim::Board::instance().loadExclusive(address);
}
uint32_t StoreExclusiveByte(volatile uint8_t* address, uint8_t value) {
    return sim::Board::instance().storeExclusive(address, value);
}
void DelayLoop(uint32_t count) {
    sim::Board::instance().delayLoop(count);
}
void IdleHint() {
    sim::Board::instance().idleHint();
}
void CallAddress(uint32_t address) {
    sim::Board::instance().callAddress(address);
}

const uint8_t* FlashBytes(uint32_t address) {
    if (address >= sim::FlashMemory::kSize) {
        std::fprintf(stderr, "simulated board: flash address 0x%08X is outside flash\n", address);
        std::abort();
    }
    return sim::Board::instance().flash().bytes() + address;
}

}  // namespace hostbus
