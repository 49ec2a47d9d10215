// The Modbus master and the device poller through the real serial layer, on the simulated
// board's UART, with any bytes on the line as the module's answer, on time or too late. Slow (a
// board per process, the line's time simulated): it replays its corpus as a test, while the
// modbus target fuzzes the same code against a line model. Oracle: an exchange succeeds
// exactly when the first bytes of the answer are the complete, correct answer (address,
// function, byte count 2 x count, CRC by the module side's own routine); the values are stored
// only then, and are those bytes.
#include <memory>
#include <vector>

#include "board_support.hpp"
#include "fuzz_support.hpp"
#include "link/hmi_uart.hpp"
#include "link/mbrtum.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"
#include "support/scripted_peer.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kFirst = 98;
constexpr int32_t kBlockCount = 22;
VarRecord* const kBlock[kBlockCount] = {
    &Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,  &Dev_1_AO5,
    &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,  &Dev_1_AO10, &Dev_1_AO11,
    &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14, &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17,
    &Dev_1_AO18, &Dev_1_AO19, &Dev_1_AO20, &Dev_1_AO21};

ScriptedPeer& Peer() {
    static ScriptedPeer* peer = [] {
        sim::Board& board = fuzz::Board();
        var_table_init();
        return new ScriptedPeer(board);
    }();
    return *peer;
}

bool CrcAt(const Bytes& frame, size_t length) {
    const uint16_t crc = sim::ModbusCrc(frame.data(), length);
    return frame[length] == static_cast<uint8_t>(crc) && frame[length + 1] == (crc >> 8);
}

// Whether the answer's first bytes are the complete read answer for count registers.
bool ReadAnswerValid(const Bytes& answer, bool late, uint8_t function, int32_t count) {
    const size_t expected = 5 + 2 * static_cast<size_t>(count);
    return !late && answer.size() >= expected && answer[0] == 1 && answer[1] == function &&
           answer[2] == 2 * count && CrcAt(answer, 3 + 2 * static_cast<size_t>(count));
}

bool WriteAnswerValid(const Bytes& answer, bool late, uint8_t function) {
    return !late && answer.size() >= 8 && answer[0] == 1 && answer[1] == function &&
           CrcAt(answer, 6);
}

uint16_t Word(const Bytes& answer, int32_t i) {
    return static_cast<uint16_t>(answer[3 + 2 * i] << 8 | answer[4 + 2 * i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ScriptedPeer& peer = Peer();
    fuzz::Input in(data, size);
    const uint8_t mode = in.byte() % 3;
    const uint8_t parameter = in.byte();
    const bool late = (parameter & 0x80) != 0;  // the answer comes after the time-out
    const Bytes answer(in.rest(), in.rest() + std::min<size_t>(in.left(), 260));

    uart_Open("COM0,115200,N,8,1");
    peer.setReplyDelay((late ? 260 : 1) * sim::kPsPerMs);
    peer.setScript([answer](const Bytes&) { return answer; });

    if (mode == 0) {
        // A read of 1-125 registers.
        const int32_t count = 1 + (parameter & 0x7F) % mbrtum::kMaxReadRegisters;
        uint16_t values[mbrtum::kMaxReadRegisters];
        for (auto& v : values) {
            v = 0xBEEF;
        }
        const uint32_t result = mrm_ReadAIO(0, 1, 3, kFirst, count, values);
        const bool valid = ReadAnswerValid(answer, late, 3, count);
        FUZZ_CHECK(result == (valid ? 1u : 0u));
        for (int32_t i = 0; i < mbrtum::kMaxReadRegisters; ++i) {
            FUZZ_CHECK(values[i] == (valid && i < count ? Word(answer, i) : 0xBEEF));
        }
    } else if (mode == 1) {
        // A write of 1-123 registers (function 6 for one, 16 for more).
        const int32_t count = 1 + (parameter & 0x7F) % mbrtum::kMaxWriteRegisters;
        uint16_t values[mbrtum::kMaxWriteRegisters] = {};
        const uint32_t result = mrm_WriteAO(0, 1, kFirst, count, values);
        const uint8_t function = count == 1 ? 6 : 16;
        FUZZ_CHECK(result == (WriteAnswerValid(answer, late, function) ? 1u : 0u));
    } else {
        // One poll of the block: a write when the operator changed a register, else a read.
        Dev_1_ENABLE_DEVICE.value = 1;
        Dev_1_ENABLE_AO.value = 1;
        Dev_1_R_ACTION.value = 1;
        Dev_1_W_ACTION.value = 1;
        int32_t before[kBlockCount];
        for (int32_t i = 0; i < kBlockCount; ++i) {
            kBlock[i]->flags = 0;
            kBlock[i]->value = 7000 + i;
            before[i] = kBlock[i]->value;
        }
        const bool write = (parameter & 0x40) != 0;
        if (write) {
            var_set_write_data(kBlock[parameter % kBlockCount], 1234);
            before[parameter % kBlockCount] = 1234;
        }
        const uint32_t failed = polling_Dev_1();
        const bool valid = write ? WriteAnswerValid(answer, late, 16)
                                 : ReadAnswerValid(answer, late, 3, kBlockCount);
        FUZZ_CHECK(failed == (valid ? 0u : 1u));
        for (int32_t i = 0; i < kBlockCount; ++i) {
            const int32_t expected = !write && valid ? Word(answer, i) : before[i];
            FUZZ_CHECK(kBlock[i]->value == expected);
            FUZZ_CHECK(var_flag_is_write(kBlock[i]) == 0);
        }
    }

    // Let the rest of the answer arrive and go, so that it cannot reach the next input.
    fuzz::WaitMs((late ? 270 : 5) + static_cast<uint32_t>(answer.size()) / 10);
    peer.setScript(nullptr);
    UARTFlushRx();
    return 0;
}
