// A debug target with no processor behind it, for the protocol layer's tests: registers and two
// memory regions (read-only flash at 0, SRAM at 0x20000000), and a run model simple enough to
// predict. Every instruction is two bytes: a step moves pc by 2; a continue stops at the next
// breakpoint above pc, or at a watchpoint (a pretend access to its address), or runs until
// interrupted; reverse moves back to the breakpoint below pc or the start of the history.
// Monitor commands: status, echo TEXT, and refuse-reverse WHY (later reverse runs are refused).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gdb_protocol.hpp"

namespace testsupport {

class FakeDebugTarget : public gdb::DebugTarget {
  public:
    static constexpr uint32_t kFlashSize = 0x40000;
    static constexpr uint32_t kRamBase = 0x20000000;
    static constexpr uint32_t kRamSize = 0x10000;
    static constexpr uint32_t kStart = 0x1800;

    FakeDebugTarget() : flash_(kFlashSize), ram_(kRamSize) {
        for (uint32_t a = 0; a + 1 < kFlashSize; a += 2) {
            flash_[a] = 0x00;  // nop (bf00), little-endian
            flash_[a + 1] = 0xbf;
        }
        for (int r = 0; r <= 12; ++r) {
            registers_[static_cast<size_t>(r)] = static_cast<uint32_t>(r);
        }
        set(gdb::Register::Sp, kRamBase + 0x1000);
        set(gdb::Register::Lr, 0xFFFFFFFF);
        set(gdb::Register::Pc, kStart);
        set(gdb::Register::Xpsr, 0x01000000);  // Thumb
        set(gdb::Register::Msp, kRamBase + 0x1000);
    }

    uint32_t get(gdb::Register r) const { return registers_[static_cast<size_t>(r)]; }
    void set(gdb::Register r, uint32_t v) { registers_[static_cast<size_t>(r)] = v; }

    bool readRegister(gdb::Register reg, uint32_t& value) override {
        value = get(reg);
        return true;
    }
    bool writeRegister(gdb::Register reg, uint32_t value) override {
        set(reg, value);
        return true;
    }
    bool readMemory(uint32_t address, uint8_t* out, size_t length) override {
        const uint8_t* from = at(address, length);
        if (from == nullptr) {
            return false;
        }
        std::memcpy(out, from, length);
        return true;
    }
    bool writeMemory(uint32_t address, const uint8_t* data, size_t length) override {
        if (address < kFlashSize) {
            return false;  // flash is written by erasing and programming, not by stores
        }
        uint8_t* to = at(address, length);
        if (to == nullptr) {
            return false;
        }
        std::memcpy(to, data, length);
        return true;
    }
    bool insertBreak(gdb::BreakKind kind, uint32_t address, uint32_t length) override {
        breaks_[address] = {kind, length};
        return true;
    }
    bool removeBreak(gdb::BreakKind, uint32_t address, uint32_t) override {
        return breaks_.erase(address) != 0;
    }
    bool supports(gdb::BreakKind) const override { return true; }
    bool canReverse() const override { return reverse_; }

    bool resume(gdb::Resume how, std::string& why) override {
        if (!refusal_.empty() &&
            (how == gdb::Resume::ReverseContinue || how == gdb::Resume::ReverseStep)) {
            why = refusal_;
            return false;
        }
        resumes.push_back(how);
        using R = gdb::StopEvent::Reason;
        const uint32_t pc = get(gdb::Register::Pc);
        switch (how) {
            case gdb::Resume::Step:
                set(gdb::Register::Pc, pc + 2);
                stop_ = gdb::StopEvent{R::Step};
                break;
            case gdb::Resume::ReverseStep:
                set(gdb::Register::Pc, pc - 2);
                stop_ = gdb::StopEvent{R::Step};
                break;
            case gdb::Resume::Continue: {
                for (const auto& [address, b] : breaks_) {
                    if (b.kind >= gdb::BreakKind::WriteWatch) {
                        const R reason = b.kind == gdb::BreakKind::WriteWatch  ? R::Watch
                                         : b.kind == gdb::BreakKind::ReadWatch ? R::ReadWatch
                                                                               : R::AccessWatch;
                        set(gdb::Register::Pc, pc + 2);
                        if (reason != R::ReadWatch) {
                            // A write changes the word (a debugger ignores a write that does not).
                            uint8_t* word = at(address, 1);
                            if (word != nullptr) {
                                ++*word;
                            }
                        }
                        stop_ = gdb::StopEvent{reason, 5, address};
                        pending_ = true;
                        return true;
                    }
                }
                const auto next = breaks_.upper_bound(pc);
                if (next == breaks_.end()) {
                    stop_.reset();  // runs until interrupted
                    return true;
                }
                set(gdb::Register::Pc, next->first);
                stop_ = gdb::StopEvent{next->second.kind == gdb::BreakKind::Software
                                           ? R::SoftwareBreak
                                           : R::HardwareBreak};
                break;
            }
            case gdb::Resume::ReverseContinue: {
                auto below = breaks_.lower_bound(pc);
                if (below == breaks_.begin()) {
                    set(gdb::Register::Pc, kStart);
                    stop_ = gdb::StopEvent{R::HistoryStart};
                } else {
                    --below;
                    set(gdb::Register::Pc, below->first);
                    stop_ = gdb::StopEvent{below->second.kind == gdb::BreakKind::Software
                                               ? R::SoftwareBreak
                                               : R::HardwareBreak};
                }
                break;
            }
        }
        pending_ = true;
        return true;
    }
    void interrupt() override {
        stop_ = gdb::StopEvent{gdb::StopEvent::Reason::Signal, 2};
        pending_ = true;
    }
    gdb::StopEvent lastStop() override { return stop_.value_or(gdb::StopEvent{}); }
    std::string monitor(const std::string& command) override {
        monitorCommands.push_back(command);
        if (command == "status") {
            char text[64];
            std::snprintf(text, sizeof(text), "halted at 0x%08x\n", get(gdb::Register::Pc));
            return text;
        }
        if (command.rfind("refuse-reverse ", 0) == 0) {
            refusal_ = command.substr(15);  // later reverse runs are refused for this reason
            return {};
        }
        if (command.rfind("echo ", 0) == 0) {
            return command.substr(5) + "\n";
        }
        return "unknown command: " + command + "\n";
    }
    void detach() override { detached = true; }
    void kill() override { killed = true; }

    // The stop a resume or an interrupt produced, once.
    std::optional<gdb::StopEvent> takeStop() {
        if (!pending_) {
            return std::nullopt;
        }
        pending_ = false;
        return stop_;
    }
    void allowReverse(bool allowed) { reverse_ = allowed; }

    std::vector<gdb::Resume> resumes;
    std::vector<std::string> monitorCommands;
    bool detached = false;
    bool killed = false;

  private:
    uint8_t* at(uint32_t address, size_t length) {
        if (address + length <= kFlashSize && address + length >= address) {
            return &flash_[address];
        }
        if (address >= kRamBase && address - kRamBase + length <= kRamSize) {
            return &ram_[address - kRamBase];
        }
        return nullptr;
    }

    struct Break {
        gdb::BreakKind kind;
        uint32_t length;
    };
    std::array<uint32_t, gdb::kRegisterCount> registers_{};
    std::vector<uint8_t> flash_;
    std::vector<uint8_t> ram_;
    std::map<uint32_t, Break> breaks_;
    std::optional<gdb::StopEvent> stop_ = gdb::StopEvent{};
    bool pending_ = false;
    bool reverse_ = true;
    std::string refusal_;
};

}  // namespace testsupport
