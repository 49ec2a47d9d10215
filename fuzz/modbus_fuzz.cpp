// The Modbus master and the device poller against a line model: the one serial call they make,
// uart_BinSendCmd, is replaced at link time (see CMakeLists.txt) by a model that keeps the
// request and answers with bytes the input describes - a correct answer, one with a field
// changed under a valid or a broken CRC, an exception, a declared length of its own, a cut or
// late answer, trailing or raw noise. No board runs. An input is a series of steps (reads and
// writes of the master with any parameters, polls of the block with operator changes and any
// enable variables between them), checked against a model of the rules:
// - every request is the frame those rules give, CRC by an independent bitwise routine, and an
//   exchange happens exactly when one is due;
// - an exchange succeeds exactly when the answer's first bytes arrived in time and are the
//   complete, correct answer; read values are stored only then, and are those bytes;
// - the poller writes the block when a register was marked, else reads it, follows its enable
//   variables, consumes the marks, and changes a record's value and dirty mark only by a read.
#include <algorithm>
#include <vector>

#include "fuzz_support.hpp"
#include "link/mbrtum.hpp"
#include "project/_dict.hpp"
#include "project/_frame0.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// CRC-16/MODBUS one bit at a time (the firmware's routine is table-driven).
uint16_t BitwiseCrc(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
    }
    return crc;
}

void AppendCrc(Bytes& frame) {
    const uint16_t crc = BitwiseCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool CrcAt(const Bytes& frame, size_t length) {
    const uint16_t crc = BitwiseCrc(frame.data(), length);
    return frame[length] == static_cast<uint8_t>(crc) && frame[length + 1] == (crc >> 8);
}

void PutWord(Bytes& frame, uint16_t word) {
    frame.push_back(static_cast<uint8_t>(word >> 8));
    frame.push_back(static_cast<uint8_t>(word));
}

// What the line does in one exchange: the request the rules expect, and the answer with how
// many of its bytes arrive before the serial time-out.
struct Exchange {
    Bytes expected;
    Bytes answer;
    size_t inTime = 0;
    int calls = 0;
};
Exchange g_exchange;

// The read answer's first count words, high byte first from byte 3.
uint16_t Word(const Bytes& answer, int32_t i) {
    return static_cast<uint16_t>(answer[3 + 2 * i] << 8 | answer[4 + 2 * i]);
}

bool ReadAnswerValid(const Exchange& e, uint8_t slave, uint8_t function, int32_t count) {
    const size_t length = 5 + 2 * static_cast<size_t>(count);
    const Bytes& a = e.answer;
    return e.inTime >= length && a[0] == slave && a[1] == function && a[2] == 2 * count &&
           CrcAt(a, 3 + 2 * static_cast<size_t>(count));
}

bool WriteAnswerValid(const Exchange& e, uint8_t slave, uint8_t function) {
    const Bytes& a = e.answer;
    return e.inTime >= 8 && a[0] == slave && a[1] == function && CrcAt(a, 6);
}

Bytes ReadRequest(uint8_t slave, uint8_t function, uint16_t address, int32_t count) {
    Bytes frame = {slave, function};
    PutWord(frame, address);
    PutWord(frame, static_cast<uint16_t>(count));
    AppendCrc(frame);
    return frame;
}

Bytes WriteRequest(uint8_t slave, uint16_t address, const std::vector<uint16_t>& values) {
    const auto count = static_cast<int32_t>(values.size());
    Bytes frame = {slave, static_cast<uint8_t>(count == 1 ? 6 : 16)};
    PutWord(frame, address);
    if (count > 1) {
        PutWord(frame, static_cast<uint16_t>(count));
        frame.push_back(static_cast<uint8_t>(2 * count));
    }
    for (const uint16_t v : values) {
        PutWord(frame, v);
    }
    AppendCrc(frame);
    return frame;
}

// The answer the input describes to the expected request (what a correct slave would send,
// then damaged or not), and when it arrives.
void DescribeAnswer(fuzz::Input& in, const Bytes& request, bool read, int32_t count) {
    Exchange& e = g_exchange;
    e.expected = request;
    e.calls = 0;
    Bytes correct = {request[0], request[1]};
    if (read) {
        correct.push_back(static_cast<uint8_t>(2 * count));
        for (int32_t i = 0; i < 2 * count; ++i) {
            correct.push_back(in.byte());
        }
    } else {
        correct.insert(correct.end(), request.begin() + 2, request.begin() + 6);
    }
    AppendCrc(correct);

    const uint8_t shape = in.byte();
    Bytes& a = e.answer;
    a = correct;
    switch (shape & 7) {
        case 0: {  // raw noise
            // The length byte is read first, on its own: the order of a call's arguments is
            // the compiler's, and with the rest measured first the noise ran one byte past
            // the input.
            const uint8_t wanted = in.byte();
            const size_t length = std::min<size_t>(wanted, in.left());
            a.assign(in.rest(), in.rest() + length);
            in.skip(length);
            break;
        }
        case 1:  // correct
            break;
        case 2:  // one byte before the CRC changed, the CRC made valid again
        case 3: {  // the same under the old CRC
            const size_t at = in.byte() % (a.size() - 2);
            a[at] = static_cast<uint8_t>(a[at] ^ (in.byte() | 1));
            if ((shape & 7) == 2) {
                a.resize(a.size() - 2);
                AppendCrc(a);
            }
            break;
        }
        case 4:  // an exception answer
            a = {request[0], static_cast<uint8_t>(request[1] | 0x80), in.byte()};
            AppendCrc(a);
            break;
        case 5: {  // a declared byte count of its own (reads), any echo (writes), valid CRC
            a = {request[0], request[1]};
            const size_t body = read ? in.byte() : 4;
            if (read) {
                a.push_back(static_cast<uint8_t>(body));
            }
            for (size_t i = 0; i < body; ++i) {
                a.push_back(in.byte());
            }
            AppendCrc(a);
            break;
        }
        case 6:  // cut short
            a.resize(in.byte() % a.size());
            break;
        default: {  // the CRC broken
            const size_t at = a.size() - 1 - (in.byte() & 1);
            a[at] = static_cast<uint8_t>(a[at] ^ (in.byte() | 1));
            break;
        }
    }
    if ((shape & 0x08) != 0) {
        for (uint8_t n = in.byte() % 32; n > 0; --n) {
            a.push_back(in.byte());
        }
    }
    switch ((shape >> 4) & 3) {
        case 2:
            e.inTime = 0;  // the whole answer after the time-out
            break;
        case 3:
            e.inTime = in.byte() % (a.size() + 1);  // only the first bytes in time
            break;
        default:
            e.inTime = a.size();
            break;
    }
}

}  // namespace

// The serial layer's exchange as the master sees it: the request goes out, then the answer's
// bytes that came in time are in the buffer (at most the length asked for), and the call
// succeeds exactly when that many came.
uint32_t LineSendCmd(uint32_t, const uint8_t* request, uint32_t requestLength, uint8_t* response,
                     uint32_t responseLength) __asm__("__wrap__Z15uart_BinSendCmdjPKhjPhj");
uint32_t LineSendCmd(uint32_t, const uint8_t* request, uint32_t requestLength, uint8_t* response,
                     uint32_t responseLength) {
    Exchange& e = g_exchange;
    ++e.calls;
    FUZZ_CHECK(e.calls == 1);
    FUZZ_CHECK(Bytes(request, request + requestLength) == e.expected);
    FUZZ_CHECK(responseLength <= 256);
    const size_t arrived = std::min<size_t>(e.inTime, e.answer.size());
    std::copy_n(e.answer.begin(), std::min<size_t>(arrived, responseLength), response);
    return arrived >= responseLength ? 1 : 0;
}

namespace {

constexpr int32_t kBlockCount = 22;
VarRecord* const kBlock[kBlockCount] = {
    &Dev_1_AO0,  &Dev_1_AO1,  &Dev_1_AO2,  &Dev_1_AO3,  &Dev_1_AO4,  &Dev_1_AO5,
    &Dev_1_AO6,  &Dev_1_AO7,  &Dev_1_AO8,  &Dev_1_AO9,  &Dev_1_AO10, &Dev_1_AO11,
    &Dev_1_AO12, &Dev_1_AO13, &Dev_1_AO14, &Dev_1_AO15, &Dev_1_AO16, &Dev_1_AO17,
    &Dev_1_AO18, &Dev_1_AO19, &Dev_1_AO20, &Dev_1_AO21};

// The model's view of one register variable.
struct Record {
    int32_t value;
    bool write;
    bool dirty;
};

// A count around the master's limits: mostly valid, sometimes zero, negative or too large.
int32_t Count(fuzz::Input& in, int32_t limit) {
    return static_cast<int32_t>(in.byte() % (limit + 5)) - 2;
}

void MasterRead(fuzz::Input& in) {
    const uint8_t slave = in.byte();
    const uint8_t function = in.byte();
    const uint16_t address = in.u16();
    const int32_t count = Count(in, mbrtum::kMaxReadRegisters);
    const bool sent = count >= 1 && count <= mbrtum::kMaxReadRegisters;
    if (sent) {
        DescribeAnswer(in, ReadRequest(slave, function, address, count), true, count);
    }
    g_exchange.calls = 0;
    uint16_t values[mbrtum::kMaxReadRegisters + 5];
    std::fill(std::begin(values), std::end(values), 0xBEEF);
    const uint32_t result = mrm_ReadAIO(0, slave, function, address, count, values);
    FUZZ_CHECK(g_exchange.calls == (sent ? 1 : 0));
    const bool valid = sent && ReadAnswerValid(g_exchange, slave, function, count);
    FUZZ_CHECK(result == (valid ? 1u : 0u));
    for (int32_t i = 0; i < static_cast<int32_t>(std::size(values)); ++i) {
        FUZZ_CHECK(values[i] == (valid && i < count ? Word(g_exchange.answer, i) : 0xBEEF));
    }
}

void MasterWrite(fuzz::Input& in) {
    const uint8_t slave = in.byte();
    const uint16_t address = in.u16();
    const int32_t count = Count(in, mbrtum::kMaxWriteRegisters);
    const bool sent = count >= 1 && count <= mbrtum::kMaxWriteRegisters;
    std::vector<uint16_t> values(static_cast<size_t>(std::max(count, 0)));
    const uint16_t seed = in.u16();
    for (size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<uint16_t>(seed * (i + 1) + (seed >> 3));
    }
    if (sent) {
        DescribeAnswer(in, WriteRequest(slave, address, values), false, count);
    }
    g_exchange.calls = 0;
    const uint32_t result = mrm_WriteAO(0, slave, address, count, values.data());
    FUZZ_CHECK(g_exchange.calls == (sent ? 1 : 0));
    const uint8_t function = count == 1 ? 6 : 16;
    FUZZ_CHECK(result == (sent && WriteAnswerValid(g_exchange, slave, function) ? 1u : 0u));
}

// One control cycle's poll, after the operator changed the marked registers.
void Poll(fuzz::Input& in, Record (&model)[kBlockCount]) {
    const uint8_t options = in.byte();
    const uint32_t marked = in.u32() & 0x3FFFFF;
    for (int32_t i = 0; i < kBlockCount; ++i) {
        if ((marked >> i & 1) == 0) {
            continue;
        }
        const int32_t value = (options & 0x80) != 0 ? in.i32() : static_cast<int16_t>(in.u16());
        var_set_write_data(kBlock[i], value);
        if (model[i].value != value) {
            model[i] = Record{value, true, true};
        }
    }
    // Enable variables are tested for zero only: any other value enables.
    const int32_t on = (options & 0x10) != 0 ? INT32_MIN : 1;
    Dev_1_ENABLE_DEVICE.value = (options & 0x01) != 0 ? 0 : on;
    Dev_1_ENABLE_AO.value = (options & 0x02) != 0 ? 0 : on;
    Dev_1_W_ACTION.value = (options & 0x04) != 0 ? 0 : on;
    Dev_1_R_ACTION.value = (options & 0x08) != 0 ? 0 : on;
    __UNDEFINED__.value = 77;

    const bool enabled = (options & 0x01) == 0;
    const bool writes = enabled && (options & 0x06) == 0;
    const bool reads = enabled && (options & 0x0A) == 0;
    bool write = false;
    if (writes) {
        for (Record& r : model) {
            write = write || r.write;
            r.write = false;
        }
    }
    const bool read = !write && reads;
    std::vector<uint16_t> block(kBlockCount);
    for (int32_t i = 0; i < kBlockCount; ++i) {
        block[i] = static_cast<uint16_t>(model[i].value);
    }
    if (write) {
        DescribeAnswer(in, WriteRequest(1, 98, block), false, kBlockCount);
    } else if (read) {
        DescribeAnswer(in, ReadRequest(1, 3, 98, kBlockCount), true, kBlockCount);
    }

    g_exchange.calls = 0;
    const uint32_t failed = polling_Dev_1();
    FUZZ_CHECK(g_exchange.calls == (write || read ? 1 : 0));
    bool valid = false;
    if (write) {
        valid = WriteAnswerValid(g_exchange, 1, 16);
    } else if (read) {
        valid = ReadAnswerValid(g_exchange, 1, 3, kBlockCount);
        for (int32_t i = 0; valid && i < kBlockCount; ++i) {
            const int32_t word = Word(g_exchange.answer, i);
            if (model[i].value != word) {
                model[i].value = word;
                model[i].dirty = true;
            }
        }
    }
    FUZZ_CHECK(failed == ((write || read) && !valid ? 1u : 0u));
    FUZZ_CHECK(__UNDEFINED__.value == (enabled ? 0 : 77));
    for (int32_t i = 0; i < kBlockCount; ++i) {
        FUZZ_CHECK(kBlock[i]->value == model[i].value);
        FUZZ_CHECK(kBlock[i]->flags == (model[i].write ? VAR_FLAG_WRITE : 0));
        FUZZ_CHECK(kBlock[i]->dirty == (model[i].dirty ? 1 : 0));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    Record model[kBlockCount];
    const bool wide = in.flag();
    for (int32_t i = 0; i < kBlockCount; ++i) {
        const int32_t value = wide ? in.i32() : 7000 + i;
        *kBlock[i] = VarRecord{};
        kBlock[i]->value = value;
        model[i] = Record{value, false, false};
    }
    for (int step = 0; step < 16 && in.left() > 0; ++step) {
        switch (in.byte() % 3) {
            case 0:
                MasterRead(in);
                break;
            case 1:
                MasterWrite(in);
                break;
            default:
                Poll(in, model);
                break;
        }
    }
    return 0;
}
