// The host side of the firmware's register-access layer: every call lands on the host core the
// calling thread belongs to (the firmware's own thread, or a unit test's acting as processor).
#include <cstdio>
#include <cstdlib>

#include "host_core.hpp"
#include "platform_hwreg.hpp"

namespace {

sim::HostCore& Core() {
    sim::HostCore* core = sim::HostCore::OfThisThread();
    if (core == nullptr) [[unlikely]] {
        std::fprintf(stderr,
                     "simulated board: the firmware touched the hardware from a thread that "
                     "belongs to no board\n");
        std::abort();
    }
    return *core;
}

}  // namespace

namespace hostbus {

uint32_t Read32(uint32_t address) {
    return Core().read(address, 4);
}
void Write32(uint32_t address, uint32_t value) {
    Core().write(address, value, 4);
}
uint8_t Read8(uint32_t address) {
    return static_cast<uint8_t>(Core().read(address, 1));
}
void Write8(uint32_t address, uint8_t value) {
    Core().write(address, value, 1);
}

uint32_t InterruptsOff() {
    return Core().interruptsOff();
}
uint32_t InterruptsOn() {
    return Core().interruptsOn();
}
uint8_t LoadExclusiveByte(volatile uint8_t* address) {
    return Core().loadExclusive(address);
}
uint32_t StoreExclusiveByte(volatile uint8_t* address, uint8_t value) {
    return Core().storeExclusive(address, value);
}
void DelayLoop(uint32_t count) {
    Core().delayLoop(count);
}
void IdleHint() {
    Core().idleHint();
}
void CallAddress(uint32_t address) {
    Core().callAddress(address);
}

const uint8_t* FlashBytes(uint32_t address) {
    if (!chip::kFlash.contains(address)) {
        std::fprintf(stderr, "simulated board: flash address 0x%08X is outside flash\n", address);
        std::abort();
    }
    return Core().board().flash().bytes() + address;
}

}  // namespace hostbus
