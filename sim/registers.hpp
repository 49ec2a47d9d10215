// How a model declares its registers: one table per model, next to the enum of offsets and field
// masks it decodes by. The bus decoder looks every access up in the table of the model it lands
// on and records a board warning for an offset the model does not implement, a store to a
// read-only register or a load from a write-only one.
#pragma once

#include <cstdint>
#include <span>

namespace sim {

enum class Access : uint8_t { ReadWrite, ReadOnly, WriteOnly };

struct Register {
    uint32_t offset;  // of the first (or only) word, from the model's base
    const char* name;
    Access access = Access::ReadWrite;
    uint32_t count = 1;   // words in a register array (GPIO data, NVIC banks, ...)
    uint32_t stride = 4;  // bytes between the array's words

    bool covers(uint32_t at) const {
        if (at < offset) {
            return false;
        }
        const uint32_t into = at - offset;
        return into / stride < count && into % stride < 4;
    }
};

using RegisterTable = std::span<const Register>;

// The register an access at `offset` (any byte of it) lands on, or null.
inline const Register* FindRegister(RegisterTable table, uint32_t offset) {
    for (const Register& reg : table) {
        if (reg.covers(offset)) {
            return &reg;
        }
    }
    return nullptr;
}

}  // namespace sim
