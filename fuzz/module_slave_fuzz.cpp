// The remote-module tool's Modbus slave side with any bytes on the line: requests built from
// the input (for this slave, another or all; the functions the panel uses and others; addresses
// in and around the module's registers; a valid or a damaged CRC) mixed with raw noise.
//
// libmodbus's framing, CRC check and slave filter are not ours. They run as they are, on one
// end of a socket pair holding the whole input and then its end (so that no read waits for
// more), with its time-outs at 1 us (it sleeps the response time-out before some exception
// answers), but they are judged only through what reaches our code and what goes back out of
// it: each request that libmodbus hands over is served (Serve), and the answer it sends is
// read from the other end. At most 64 receive calls per input.
//
// Oracles, per request served, against a copy of the module's process brought to the same time:
// - the table the Modbus side answers from equals the process afterwards (every change a write
//   made went through the process);
// - exactly the registers the request changed are reported, in order, as "write REG VALUE",
//   then a send request for each of SMS and MAIL that went from 1 to 0;
// - a write of one or more registers within 98-119 leaves those values; a read within them is
//   answered with the process's values at that time; nothing is answered to a broadcast, and
//   every answer carries this slave's address and a valid CRC.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "module.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

uint16_t Crc(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
        }
    }
    return crc;
}

void PutWord(Bytes& frame, uint16_t word) {
    frame.push_back(static_cast<uint8_t>(word >> 8));
    frame.push_back(static_cast<uint8_t>(word));
}

uint16_t WordAt(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] << 8 | at[1]);
}

// One request (or noise) from the input, appended to the line.
void AppendFrame(fuzz::Input& in, uint8_t self, Bytes& line) {
    const uint8_t kind = in.byte();
    if ((kind & 3) == 0) {
        for (uint8_t n = in.byte() % 64; n > 0; --n) {
            line.push_back(in.byte());
        }
        return;
    }
    static constexpr uint8_t kFunctions[] = {3, 3, 6, 16, 16, 4, 23, 22, 1, 2, 5, 15, 17, 0x2B, 7, 0};
    const uint8_t slaveChoice = kind >> 2 & 3;
    const uint8_t slave = slaveChoice < 2 ? self : slaveChoice == 2 ? 0 : in.byte();
    uint8_t function = kFunctions[in.byte() % 16];
    if (function == 0) {
        function = in.byte();
    }
    const uint16_t address = (kind & 0x20) != 0
                                 ? in.u16()
                                 : static_cast<uint16_t>(98 + static_cast<int8_t>(in.byte()) % 26);
    Bytes frame = {slave, function};
    PutWord(frame, address);
    const auto values = [&](uint16_t count, uint8_t declared) {
        frame.push_back(declared);
        const uint16_t seed = in.u16();
        for (uint16_t i = 0; i < count; ++i) {
            PutWord(frame, static_cast<uint16_t>(seed + 7 * i));
        }
    };
    switch (function) {
        case 3:
        case 4:
        case 1:
        case 2:
            PutWord(frame, static_cast<uint16_t>((kind & 0x40) != 0 ? in.u16() : in.byte() % 30));
            break;
        case 6:
        case 5:
            PutWord(frame, in.u16());
            break;
        case 16: {
            const uint16_t count = in.byte() % 30;
            PutWord(frame, count);
            values(count, (kind & 0x40) != 0 ? in.byte() : static_cast<uint8_t>(2 * count));
            break;
        }
        case 23: {
            PutWord(frame, in.byte() % 30);                                       // read count
            PutWord(frame, static_cast<uint16_t>(98 + in.byte() % 26));          // write address
            const uint16_t count = in.byte() % 30;
            PutWord(frame, count);
            values(count, static_cast<uint8_t>(2 * count));
            break;
        }
        case 22:
            PutWord(frame, in.u16());  // and mask
            PutWord(frame, in.u16());  // or mask
            break;
        default:
            for (uint8_t n = in.byte() % 8; n > 0; --n) {
                frame.push_back(in.byte());
            }
            break;
    }
    const uint16_t crc = Crc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    if ((kind & 0x80) != 0) {
        frame[in.byte() % frame.size()] ^= static_cast<uint8_t>(in.byte() | 1);
    }
    line.insert(line.end(), frame.begin(), frame.end());
}

Bytes Drain(int fd) {
    Bytes got;
    uint8_t chunk[512];
    for (ssize_t n; (n = recv(fd, chunk, sizeof(chunk), MSG_DONTWAIT)) > 0;) {
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

// What serving the request must have done, given the process before it (brought to the time).
void CheckServed(const uint8_t* q, int length, uint8_t self, const remote_io::Process& before,
                 const remote_module::Module& module, const uint16_t* table,
                 const std::vector<std::string>& said, const Bytes& answer) {
    const remote_io::Process& after = module.process();
    std::vector<std::string> want;
    for (int i = 0; i < remote_io::kRegisterCount; ++i) {
        FUZZ_CHECK(table[i] == after.read(i));
        if (after.read(i) != before.read(i)) {
            want.push_back("write " + std::to_string(98 + i) + " " + std::to_string(after.read(i)));
        }
    }
    for (const int i : {20, 21}) {
        if (before.read(i) == 1 && after.read(i) == 0) {
            want.push_back(i == 20 ? "request sms" : "request email");
        }
    }
    FUZZ_CHECK(said == want);

    const uint8_t slave = q[0];
    const uint8_t function = q[1];
    FUZZ_CHECK(slave == self || slave == 0);
    if (slave == 0) {
        FUZZ_CHECK(answer.empty());
    } else if (!answer.empty()) {
        FUZZ_CHECK(answer.size() >= 5 && answer[0] == self);
        const uint16_t crc = Crc(answer.data(), answer.size() - 2);
        FUZZ_CHECK(answer[answer.size() - 2] == static_cast<uint8_t>(crc) &&
                   answer[answer.size() - 1] == crc >> 8);
    }
    if (length < 8) {
        return;
    }
    const int address = WordAt(q + 2);
    const int count = WordAt(q + 4);
    const bool inside = address >= 98 && count >= 1 && address + count <= 120;
    if (function == 6 && address >= 98 && address < 120) {
        FUZZ_CHECK(after.read(address - 98) == count);  // bytes 4-5 are the value
    }
    if (function == 16 && inside && length == 9 + 2 * count && q[6] == 2 * count) {
        for (int i = 0; i < count; ++i) {
            FUZZ_CHECK(after.read(address - 98 + i) == WordAt(q + 7 + 2 * i));
        }
    }
    if (function == 3 && inside && length == 8 && slave != 0) {
        FUZZ_CHECK(answer.size() == 5u + 2 * count && answer[1] == 3 && answer[2] == 2 * count);
        for (int i = 0; i < count; ++i) {
            FUZZ_CHECK(WordAt(answer.data() + 3 + 2 * i) == before.read(address - 98 + i));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t options = in.byte();
    const bool running = (options & 1) != 0;
    const uint8_t self = static_cast<uint8_t>(1 + in.byte() % 247);
    const double step = in.byte() * 0.043;
    Bytes line;
    for (int frames = 0; frames < 32 && in.left() > 0; ++frames) {
        AppendFrame(in, self, line);
    }

    int ends[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0);
    FUZZ_CHECK(send(ends[1], line.data(), line.size(), 0) == static_cast<ssize_t>(line.size()));
    shutdown(ends[1], SHUT_WR);

    modbus_t* ctx = modbus_new_rtu("/dev/null", 115200, 'N', 8, 1);
    FUZZ_CHECK(ctx != nullptr && modbus_set_slave(ctx, self) == 0);
    modbus_set_socket(ctx, ends[0]);
    modbus_set_response_timeout(ctx, 0, 1);
    modbus_set_byte_timeout(ctx, 0, 1);
    modbus_mapping_t* mapping = modbus_mapping_new_start_address(
        0, 0, 0, 0, remote_io::kFirstRegister, remote_io::kRegisterCount, 0, 0);
    FUZZ_CHECK(mapping != nullptr);
    std::vector<std::string> said;
    remote_module::Module module(mapping->tab_registers, running,
                                 [&said](const std::string& l) { said.push_back(l); });

    double seconds = 0;
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    for (int calls = 0; calls < 64; ++calls) {
        const int length = modbus_receive(ctx, request);
        if (length < 0 && errno == ECONNRESET) {
            break;  // the end of the line
        }
        if (length <= 0) {
            continue;  // refused by libmodbus, or for another slave
        }
        seconds += step;
        remote_io::Process before = module.process();
        before.advanceTo(seconds);
        said.clear();
        remote_module::Serve(ctx, mapping, module, request, length, seconds);
        CheckServed(request, length, self, before, module, mapping->tab_registers, said,
                    Drain(ends[1]));
    }

    modbus_mapping_free(mapping);
    modbus_free(ctx);  // closes nothing: the socket was set, not opened
    close(ends[0]);
    close(ends[1]);
    return 0;
}
