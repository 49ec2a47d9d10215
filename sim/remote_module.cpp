#include "remote_module.hpp"

namespace sim {

namespace {

constexpr uint8_t kReadHolding = 3;
constexpr uint8_t kWriteSingle = 6;
constexpr uint8_t kWriteMultiple = 16;
constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;
constexpr uint8_t kDeviceFailure = 4;

uint16_t Word(const std::vector<uint8_t>& frame, size_t at) {
    return static_cast<uint16_t>((frame[at] << 8) | frame[at + 1]);
}

void PutWord(std::vector<uint8_t>& frame, uint16_t word) {
    frame.push_back(static_cast<uint8_t>(word >> 8));
    frame.push_back(static_cast<uint8_t>(word));
}

void AppendCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = ModbusCrc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

void ReplaceCrc(std::vector<uint8_t>& frame) {
    frame.resize(frame.size() - 2);
    AppendCrc(frame);
}

}  // namespace

uint16_t ModbusCrc(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001u)
                                  : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

const char* Describe(ModuleFault fault) {
    switch (fault) {
        case ModuleFault::None:
            return "none";
        case ModuleFault::Silence:
            return "silence";
        case ModuleFault::BadCrc:
            return "bad CRC";
        case ModuleFault::WrongAddress:
            return "wrong slave address";
        case ModuleFault::WrongFunction:
            return "wrong function";
        case ModuleFault::Exception:
            return "exception answer";
        case ModuleFault::Truncated:
            return "truncated answer";
        case ModuleFault::Late:
            return "answer after the time-out";
        case ModuleFault::Noise:
            return "line noise";
    }
    return "?";
}

LineFormat RemoteModule::ProjectLine() {
    const remote_io::LineSettings& line = remote_io::kDevice.line;
    LineFormat format;
    format.baud = line.baud;
    format.dataBits = line.dataBits;
    format.parity = line.parity;
    format.stopBits = line.stopBits;
    return format;
}

RemoteModule::RemoteModule(Scheduler& scheduler, LineFormat format)
    : scheduler_(scheduler), format_(format), transmitter_(scheduler) {}

void RemoteModule::attached(SerialPort* port) {
    port_ = port;
    transmitter_.setPort(port);
    if (port == nullptr) {
        transmitter_.cancel();
        if (replyEvent_ != 0) {
            scheduler_.cancel(replyEvent_);
            replyEvent_ = 0;
        }
    }
}

void RemoteModule::setFault(ModuleFault fault, int answers) {
    fault_ = fault;
    faultAnswers_ = answers;
}

void RemoteModule::receiveFromPanel(uint8_t byte) {
    frame_.push_back(byte);
    // A frame ends with 3.5 characters of silence (fixed at 1.75 ms above 19200 baud).
    const Picoseconds silence =
        format_.baud > 19200 ? 1750 * kPsPerUs : format_.characterTime() * 7 / 2;
    if (silenceEvent_ != 0) {
        scheduler_.cancel(silenceEvent_);
    }
    silenceEvent_ = scheduler_.after(scheduler_.cyclesFor(silence), [this] {
        silenceEvent_ = 0;
        endOfFrame();
    });
}

void RemoteModule::endOfFrame() {
    std::vector<uint8_t> request;
    request.swap(frame_);
    Exchange exchange{scheduler_.nowMs(), request, {}, ModuleFault::None};

    const bool intact = request.size() >= 4 &&
                        ModbusCrc(request.data(), request.size() - 2) ==
                            (request[request.size() - 2] | (request[request.size() - 1] << 8));
    if (!intact || request[0] != remote_io::kSlaveAddress) {
        exchanges_.push_back(std::move(exchange));  // not for this module: stay silent
        return;
    }
    ++requestsByFunction_[request[1]];
    process_.advanceTo(seconds());
    std::vector<uint8_t> reply = answer(request);

    Picoseconds delay = replyDelay_;
    std::vector<uint8_t> noise;
    if (fault_ != ModuleFault::None && faultAnswers_ != 0) {
        exchange.fault = fault_;
        applyFault(reply, delay, noise);
        if (faultAnswers_ > 0 && --faultAnswers_ == 0) {
            fault_ = ModuleFault::None;
        }
    }
    exchange.answer = reply;
    exchanges_.push_back(std::move(exchange));
    if (reply.empty() || port_ == nullptr) {
        return;
    }
    noise.insert(noise.end(), reply.begin(), reply.end());
    replyEvent_ = scheduler_.after(scheduler_.cyclesFor(delay), [this, bytes = std::move(noise)] {
        replyEvent_ = 0;
        transmitter_.send(bytes.data(), bytes.size(), format_.characterTime());
    });
}

std::vector<uint8_t> RemoteModule::exception(uint8_t function, uint8_t code) const {
    std::vector<uint8_t> reply = {remote_io::kSlaveAddress, static_cast<uint8_t>(function | 0x80),
                                  code};
    AppendCrc(reply);
    return reply;
}

std::vector<uint8_t> RemoteModule::answer(const std::vector<uint8_t>& request) {
    const uint8_t function = request[1];
    const size_t body = request.size() - 2;  // without the CRC
    const auto inRange = [](uint16_t first, uint32_t count) {
        return first >= remote_io::kFirstRegister &&
               first + count <= remote_io::kFirstRegister + remote_io::kRegisterCount;
    };
    std::vector<uint8_t> reply = {remote_io::kSlaveAddress, function};

    if (function == kReadHolding && body == 6) {
        const uint16_t first = Word(request, 2);
        const uint16_t count = Word(request, 4);
        if (count < 1 || count > 125) {
            return exception(function, kIllegalValue);
        }
        if (!inRange(first, count)) {
            return exception(function, kIllegalAddress);
        }
        reply.push_back(static_cast<uint8_t>(2 * count));
        for (uint16_t i = 0; i < count; ++i) {
            PutWord(reply, process_.read(first - remote_io::kFirstRegister + i));
        }
    } else if (function == kWriteSingle && body == 6) {
        const uint16_t address = Word(request, 2);
        if (!inRange(address, 1)) {
            return exception(function, kIllegalAddress);
        }
        process_.write(address - remote_io::kFirstRegister, Word(request, 4), seconds());
        reply.insert(reply.end(), request.begin() + 2, request.begin() + 6);
    } else if (function == kWriteMultiple && body >= 7) {
        const uint16_t first = Word(request, 2);
        const uint16_t count = Word(request, 4);
        if (count < 1 || count > 123 || request[6] != 2 * count || body != 7u + 2u * count) {
            return exception(function, kIllegalValue);
        }
        if (!inRange(first, count)) {
            return exception(function, kIllegalAddress);
        }
        for (uint16_t i = 0; i < count; ++i) {
            process_.write(first - remote_io::kFirstRegister + i, Word(request, 7 + 2u * i),
                           seconds());
        }
        reply.insert(reply.end(), request.begin() + 2, request.begin() + 6);
    } else if (function == kReadHolding || function == kWriteSingle || function == kWriteMultiple) {
        return exception(function, kIllegalValue);
    } else {
        return exception(function, kIllegalFunction);
    }
    AppendCrc(reply);
    return reply;
}

void RemoteModule::applyFault(std::vector<uint8_t>& reply, Picoseconds& delay,
                              std::vector<uint8_t>& noise) {
    switch (fault_) {
        case ModuleFault::None:
            break;
        case ModuleFault::Silence:
            reply.clear();
            break;
        case ModuleFault::BadCrc:
            reply.back() ^= 0x5A;
            break;
        case ModuleFault::WrongAddress:
            reply[0] = static_cast<uint8_t>(remote_io::kSlaveAddress + 1);
            ReplaceCrc(reply);
            break;
        case ModuleFault::WrongFunction:
            reply[1] = static_cast<uint8_t>(reply[1] == 4 ? 3 : 4);
            ReplaceCrc(reply);
            break;
        case ModuleFault::Exception:
            reply = exception(reply[1] & 0x7Fu, kDeviceFailure);
            break;
        case ModuleFault::Truncated:
            reply.resize(reply.size() / 2);
            break;
        case ModuleFault::Late:
            delay = kLateDelay;
            break;
        case ModuleFault::Noise:
            for (int i = 0; i < 3; ++i) {
                noiseSeed_ ^= noiseSeed_ << 13;
                noiseSeed_ ^= noiseSeed_ >> 17;
                noiseSeed_ ^= noiseSeed_ << 5;
                noise.push_back(static_cast<uint8_t>(noiseSeed_));
            }
            break;
    }
}

}  // namespace sim
