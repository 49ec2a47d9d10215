// The remote I/O module on the panel's serial line: a Modbus RTU slave holding the project's
// register block (remote_io's map: the demo's slave 1, registers 98-119) with functions 3, 6 and
// 16, exception answers for anything else, a reply delay, the module's process behind the
// registers, and fault injection for the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "process.hpp"
#include "scheduler.hpp"
#include "serial_line.hpp"

namespace sim {

enum class ModuleFault {
    None,
    Silence,        // no answer at all
    BadCrc,         // the answer's CRC is wrong
    WrongAddress,   // the answer names another slave (with a good CRC)
    WrongFunction,  // the answer carries another function code (with a good CRC)
    Exception,      // an exception answer (slave device failure) instead of the data
    Truncated,      // the answer stops half way
    Late,           // the answer comes after the master's time-out
    Noise,          // garbage characters on the line just before the answer
};

const char* Describe(ModuleFault fault);

class RemoteModule : public SerialPeer {
  public:
    static constexpr Picoseconds kDefaultReplyDelay = 1 * kPsPerMs;
    static constexpr Picoseconds kLateDelay = 250 * kPsPerMs;

    explicit RemoteModule(Scheduler& scheduler, LineFormat format = ProjectLine());

    // The line the project's panel opens (its serial settings).
    static LineFormat ProjectLine();

    LineFormat lineFormat() const override { return format_; }
    void attached(SerialPort* port) override;
    void receiveFromPanel(uint8_t byte) override;

    void setReplyDelay(Picoseconds delay) { replyDelay_ = delay; }
    // Applies the fault to the next `answers` requests addressed to the module (-1: until changed).
    void setFault(ModuleFault fault, int answers = -1);
    ModuleFault fault() const { return fault_; }

    remote_io::Process& process() { return process_; }

    // Every frame the module took off the line (complete by silence), with what it sent back.
    struct Exchange {
        double timeMs;  // when the request frame ended
        std::vector<uint8_t> request;
        std::vector<uint8_t> answer;  // empty when the module stayed silent
        ModuleFault fault;
    };
    const std::vector<Exchange>& exchanges() const { return exchanges_; }
    // Forgets the exchanges so far (a long run that has looked at them keeps memory flat).
    void clearExchanges() { exchanges_.clear(); }
    // Requests of each function code that reached the module intact and addressed to it.
    uint64_t requests(uint8_t function) const { return requestsByFunction_[function]; }

  private:
    void endOfFrame();
    std::vector<uint8_t> answer(const std::vector<uint8_t>& request);
    std::vector<uint8_t> exception(uint8_t function, uint8_t code) const;
    void applyFault(std::vector<uint8_t>& answer, Picoseconds& delay, std::vector<uint8_t>& noise);
    double seconds() const { return scheduler_.nowMs() / 1000.0; }

    Scheduler& scheduler_;
    LineFormat format_;
    SerialPort* port_ = nullptr;
    LineTransmitter transmitter_;
    remote_io::Process process_;
    Picoseconds replyDelay_ = kDefaultReplyDelay;
    ModuleFault fault_ = ModuleFault::None;
    int faultAnswers_ = -1;
    uint32_t noiseSeed_ = 0x2545F491;

    std::vector<uint8_t> frame_;
    EventId silenceEvent_ = 0;
    EventId replyEvent_ = 0;
    std::vector<Exchange> exchanges_;
    uint64_t requestsByFunction_[256] = {};
};

// CRC-16/MODBUS, the slave's own (initial 0xFFFF, reflected polynomial 0xA001).
uint16_t ModbusCrc(const uint8_t* data, size_t length);

}  // namespace sim
