// The GDB remote serial protocol, the debugger's side of a debug target: packet framing
// ($payload#checksum, acknowledgements and the no-ack mode), escaping and binary writes, the
// Cortex-M target description and memory map, and the packets of a bare-metal, one-thread
// target: registers, memory, breakpoints and watchpoints, resume (forward and reverse),
// interrupt, monitor commands, detach and kill.
//
// GdbSession knows nothing of any processor: it takes the debugger's bytes in, hands back the
// bytes to send, and asks a DebugTarget to do the work. A resume returns at once; the owner
// runs the target and calls stopped() when it halts, which sends the stop reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gdb {

// The registers the target description names, in the order of the 'g' packet.
enum class Register : int {
    R0 = 0,  // r0-r12 follow
    Sp = 13,
    Lr = 14,
    Pc = 15,
    Xpsr = 16,
    Msp,
    Psp,
    Primask,
    Basepri,
    Faultmask,
    Control,
    Count,
};
constexpr int kRegisterCount = static_cast<int>(Register::Count);
// The number the debugger uses for a register in 'p' and 'P' (xpsr is 25 in GDB's ARM numbering,
// the system registers follow it); -1 for none.
int ProtocolNumber(Register reg);
// The register a protocol number stands for, or Register::Count for none.
Register RegisterForNumber(uint32_t number);

// Z0-Z4: what a breakpoint or watchpoint packet asks for.
enum class BreakKind : int {
    Software = 0,
    Hardware = 1,
    WriteWatch = 2,
    ReadWatch = 3,
    AccessWatch = 4,
};

enum class Resume { Continue, Step, ReverseContinue, ReverseStep };

// Why the target stopped, as the stop reply says it.
struct StopEvent {
    enum class Reason {
        Signal,         // a halt with no more to say (an interrupt: signal 2)
        SoftwareBreak,  // a Z0 breakpoint
        HardwareBreak,  // a Z1 breakpoint
        Step,           // a step ended
        Watch,          // a Z2 watchpoint: a write to address
        ReadWatch,      // Z3: a read
        AccessWatch,    // Z4: either
        HistoryStart,   // reverse execution reached the start of the recorded run
        HistoryEnd,     // forward replay reached the end of the recorded run
        Exited,         // the program ended with exitCode
    };
    Reason reason = Reason::Signal;
    int signal = 5;  // SIGTRAP; 2 (SIGINT) after an interrupt
    uint32_t address = 0;
    int exitCode = 0;
};

// What the session needs of a target. Every call comes from the session, on the thread that
// feeds it bytes.
class DebugTarget {
  public:
    virtual ~DebugTarget() = default;

    virtual bool readRegister(Register reg, uint32_t& value) = 0;
    virtual bool writeRegister(Register reg, uint32_t value) = 0;
    // false when any of the bytes cannot be read or written (nothing mapped there, flash).
    virtual bool readMemory(uint32_t address, uint8_t* out, size_t length) = 0;
    virtual bool writeMemory(uint32_t address, const uint8_t* data, size_t length) = 0;
    // length: the breakpoint kind (2 or 4 for Thumb) or the watched bytes. false when the target
    // cannot set it; a kind it never supports answers unsupported() for the debugger to know.
    virtual bool insertBreak(BreakKind kind, uint32_t address, uint32_t length) = 0;
    virtual bool removeBreak(BreakKind kind, uint32_t address, uint32_t length) = 0;
    virtual bool supports(BreakKind kind) const = 0;
    // Whether reverse-continue and reverse-step can work at all (advertised to the debugger);
    // resume() may still refuse a particular run by returning false.
    virtual bool canReverse() const = 0;

    // Starts the target; false when it cannot, with why for the user (the reply is then an
    // error, the reason shown before it). The stop is reported later through
    // GdbSession::stopped().
    virtual bool resume(Resume how, std::string& why) = 0;
    // The debugger asked for a halt (Ctrl-C) while the target runs: stop soon, then report.
    virtual void interrupt() = 0;
    // The state the target is halted in, for '?'.
    virtual StopEvent lastStop() = 0;
    // A monitor command line; the text is shown to the user (may be empty).
    virtual std::string monitor(const std::string& command) = 0;
    // The debugger leaves: the target runs on by itself. Or ends it.
    virtual void detach() = 0;
    virtual void kill() = 0;
};

// The target description and memory map the session serves.
const std::string& TargetDescriptionXml();
const std::string& MemoryMapXml();

class GdbSession {
  public:
    static constexpr size_t kPacketSize = 0x4000;  // the most payload a packet may carry

    explicit GdbSession(DebugTarget& target);

    // Bytes from the debugger, any amount at a time.
    void receive(std::string_view bytes);
    // The bytes to send to the debugger since the last call.
    std::string takeOutput();

    // The target halted after a resume or an interrupt: sends the stop reply.
    void stopped(const StopEvent& event);

    // Another copy of the process answered the debugger until now, which is waiting for the
    // answer to its resume: this session carries on from there.
    void adopt(bool noAck) {
        noAck_ = noAck;
        running_ = true;
    }

    bool running() const { return running_; }
    // After D or k: the debugger is gone (the connection may close).
    bool closed() const { return closed_; }
    bool noAck() const { return noAck_; }

    // Packet framing, for tests and tools.
    static std::string Frame(std::string_view payload);
    static std::string Escape(std::string_view binary);

  private:
    void onByte(char c);
    void handle(const std::string& packet);
    void reply(std::string_view payload);
    // One command: the reply's payload, or nothing sent when the target resumed.
    void dispatch(const std::string& packet);
    std::string query(const std::string& packet);
    std::string readRegisters();
    std::string writeRegisters(std::string_view hex);
    std::string readRegister(std::string_view arguments);
    std::string writeRegister(std::string_view arguments);
    std::string readMemory(std::string_view arguments);
    std::string writeMemory(std::string_view arguments, bool binary);
    std::string breakpoint(std::string_view arguments, bool insert);
    // c, s, bc, bs, vCont: starts the target; replies only on failure.
    void resume(Resume how, std::string_view address);
    std::string vPacket(const std::string& packet);
    std::string transfer(std::string_view arguments);
    std::string monitor(std::string_view hexCommand);
    // Text for the user's console, as 'O' packets (before a command's final reply).
    void console(std::string_view text);
    static std::string StopReply(const StopEvent& event);

    DebugTarget& target_;
    std::string output_;
    std::string lastSent_;  // a packet the debugger may ask again for ('-')
    enum class State { Idle, Payload, Escape, Check1, Check2 } state_ = State::Idle;
    std::string payload_;
    uint8_t sum_ = 0;
    char check1_ = 0;
    bool noAck_ = false;
    bool running_ = false;
    bool closed_ = false;
};

// Hex as the protocol writes it: two lower-case digits a byte.
std::string ToHex(const uint8_t* data, size_t length);
std::string ToHex(std::string_view text);
// Decodes hex of even length; false on a stray character.
bool FromHex(std::string_view hex, std::vector<uint8_t>& out);

}  // namespace gdb
