// The serial layer: configuration strings against a reference parser written from the
// configuration rules, and the line reader over any bytes against a reference reader.
#include <cstdlib>
#include <string>
#include <vector>

#include "board_support.hpp"
#include "fuzz_support.hpp"
#include "link/hmi_uart.hpp"
#include "support/scripted_peer.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

ScriptedPeer& Peer() {
    static ScriptedPeer* peer = new ScriptedPeer(fuzz::Board());
    return *peer;
}

hmi_uart::PortSettings ReferenceConfiguration(const std::string& text) {
    const hmi_uart::PortSettings defaults{1, 115200, 0x60};
    if (text.size() > 23) {
        return defaults;
    }
    std::vector<std::string> slots = {"COM1", "115200", "N", "8", "1"};
    size_t field = 0;
    size_t at = 0;
    while (at < text.size()) {
        const size_t comma = text.find(',', at);
        const size_t end = comma == std::string::npos ? text.size() : comma;
        if (end > at) {
            if (field == 5 || end - at > 7) {
                return defaults;
            }
            slots[field++] = text.substr(at, end - at);
        }
        at = end + 1;
    }
    if (slots[0].size() < 3) {
        return defaults;
    }
    const std::string& baud = slots[1];
    if (baud.find_first_not_of("0123456789") != std::string::npos || std::atol(baud.c_str()) <= 0) {
        return defaults;
    }
    uint32_t control = 0;
    switch (slots[2][0]) {
        case 'E': control |= 0x06; break;
        case 'O': control |= 0x02; break;
        case 'M': control |= 0x82; break;
        case 'S': control |= 0x86; break;
        default: break;
    }
    const char data = slots[3][0];
    control |= static_cast<uint32_t>(data >= '5' && data <= '7' ? data - '5' : 3) << 5;
    if (slots[4][0] == '2') {
        control |= 0x08;
    }
    const auto port = static_cast<uint32_t>(std::atoi(slots[0].c_str() + 3)) & 0xFFFF;
    return {port, static_cast<uint32_t>(std::atol(baud.c_str())), control};
}

struct Read {
    uint32_t result;
    Bytes stored;  // what the buffer holds afterwards (a text-mode NUL included)
};

// The line reader's rules applied to a stream that arrives in full within the time-out.
Read ReferenceRead(const Bytes& stream, uint32_t size, bool text) {
    const uint32_t limit = text ? (size == 0 ? 0 : size - 1) : size;
    Bytes stored;
    for (const uint8_t byte : stream) {
        if (text && (byte == 13 || byte == 10 || byte == 27)) {
            stored.push_back(0);
            return {static_cast<uint32_t>(stored.size() - 1), stored};
        }
        if (stored.size() >= limit) {
            continue;  // only with a limit of 0
        }
        stored.push_back(byte);
        if (stored.size() == limit) {
            const auto count = static_cast<uint32_t>(stored.size());
            if (text) {
                stored.push_back(0);
            }
            return {count, stored};
        }
    }
    return {0, stored};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ScriptedPeer& peer = Peer();
    fuzz::Input in(data, size);
    if (in.byte() % 2 == 0) {
        const std::string text = in.text(40);
        const hmi_uart::PortSettings got = hmi_uart::ParseConfiguration(text.c_str());
        const hmi_uart::PortSettings want = ReferenceConfiguration(text);
        FUZZ_CHECK(got.port == want.port);
        FUZZ_CHECK(got.baud == want.baud);
        FUZZ_CHECK(got.lineControl == want.lineControl);
        FUZZ_CHECK(uart_Open(text.c_str()) == want.port);
        uart_Open("COM0,115200,N,8,1");
        return 0;
    }
    const bool text = in.flag();
    // The reader's callers always leave text mode room for the NUL.
    const uint32_t bufferSize = in.byte() % 64 + (text ? 1 : 0);
    const Bytes stream(in.rest(), in.rest() + std::min<size_t>(in.left(), 200));

    uart_Open("COM0,115200,N,8,1");
    peer.send(stream);
    // One byte of room either side, marked, to see what was written.
    std::vector<uint8_t> memory(bufferSize + 2, 0xA5);
    const uint32_t result = UARTgets(memory.data() + 1, bufferSize, text ? 1 : 0);
    const Read want = ReferenceRead(stream, bufferSize, text);
    FUZZ_CHECK(result == want.result);
    FUZZ_CHECK(memory[0] == 0xA5 && memory[bufferSize + 1] == 0xA5);
    FUZZ_CHECK(want.stored.size() <= bufferSize);
    for (size_t i = 0; i < want.stored.size(); ++i) {
        FUZZ_CHECK(memory[1 + i] == want.stored[i]);
    }
    fuzz::WaitMs(static_cast<uint32_t>(stream.size()) / 10 + 2);
    UARTFlushRx();
    return 0;
}
