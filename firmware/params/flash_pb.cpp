#include "params/flash_pb.hpp"

#include "periph/flash.hpp"
#include "periph/sysctl.hpp"

const uint8_t* g_pucFlashPBStart = nullptr;
const uint8_t* g_pucFlashPBEnd = nullptr;
uint32_t g_ulFlashPBSize = 0;
const uint8_t* g_pucFlashPBCurrent = nullptr;

namespace flash_pb {

bool IsValidBlock(const uint8_t* block, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; ++i) {
        sum += block[i];
    }
    const uint32_t erased = size * 0xFFu;
    return sum % 256 == 0 && sum != erased;
}

}  // namespace flash_pb

void FlashPBInit(const uint8_t* start, const uint8_t* end, uint32_t size) {
    FlashUsecSet(SysCtlClockGet() / 1000000);
    g_pucFlashPBStart = start;
    g_pucFlashPBEnd = end;
    g_ulFlashPBSize = size;

    const uint8_t* current = nullptr;
    if (size != 0) {
        for (const uint8_t* block = start;
             block < end && static_cast<uint32_t>(end - block) >= size; block += size) {
            if (!flash_pb::IsValidBlock(block, size)) {
                continue;
            }
            if (current == nullptr || flash_pb::IsNewer(block[0], current[0])) {
                current = block;
            }
        }
    }
    g_pucFlashPBCurrent = current;
}

const uint8_t* FlashPBGet() {
    return g_pucFlashPBCurrent;
}
