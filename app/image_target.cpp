#include "image_target.hpp"

#include <algorithm>
#include <cstring>

#include "chip.hpp"
#include "debugger_monitor.hpp"

namespace app {

namespace {

using gdb::BreakKind;
using gdb::Register;
using gdb::StopEvent;
using sim::arm::DebugStop;
using sim::arm::WatchKind;

int UnicornId(Register reg) {
    const int n = static_cast<int>(reg);
    if (n <= 12) {
        return UC_ARM_REG_R0 + n;
    }
    switch (reg) {
        case Register::Sp:
            return UC_ARM_REG_SP;
        case Register::Lr:
            return UC_ARM_REG_LR;
        case Register::Pc:
            return UC_ARM_REG_PC;
        case Register::Xpsr:
            return UC_ARM_REG_XPSR;
        case Register::Msp:
            return UC_ARM_REG_MSP;
        case Register::Psp:
            return UC_ARM_REG_PSP;
        case Register::Primask:
            return UC_ARM_REG_PRIMASK;
        case Register::Basepri:
            return UC_ARM_REG_BASEPRI;
        case Register::Faultmask:
            return UC_ARM_REG_FAULTMASK;
        case Register::Control:
            return UC_ARM_REG_CONTROL;
        default:
            return -1;
    }
}

bool IsBus(uint32_t address) {
    return chip::kPeripherals.contains(address) || chip::kPrivateBus.contains(address);
}

WatchKind WatchOf(BreakKind kind) {
    return kind == BreakKind::WriteWatch  ? WatchKind::Write
           : kind == BreakKind::ReadWatch ? WatchKind::Read
                                          : WatchKind::Access;
}

bool IsBreakpoint(BreakKind kind) {
    return kind == BreakKind::Software || kind == BreakKind::Hardware;
}

}  // namespace

ImageTarget::ImageTarget(Session& session, Reverse reverse, Listener listener)
    : session_(session),
      core_(*session.image),
      reverse_(std::move(reverse)),
      listener_(std::move(listener)) {}

bool ImageTarget::readRegister(Register reg, uint32_t& value) {
    const int id = UnicornId(reg);
    if (id < 0) {
        return false;
    }
    value = core_.debugRegister(id);
    return true;
}

bool ImageTarget::writeRegister(Register reg, uint32_t value) {
    const int id = UnicornId(reg);
    if (id < 0) {
        return false;
    }
    core_.setDebugRegister(id, value);
    listener_(HeldAction{HeldAction::Kind::WriteRegister, static_cast<uint32_t>(reg),
                         std::string(reinterpret_cast<const char*>(&value), sizeof(value)), {}});
    return true;
}

bool ImageTarget::readMemory(uint32_t address, uint8_t* out, size_t length) {
    for (size_t i = 0; i < length;) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        if (!IsBus(at)) {
            if (!core_.read(at, out + i, 1)) {
                return false;
            }
            ++i;
            continue;
        }
        // A register is looked at once for all of its bytes asked for.
        const std::optional<uint32_t> word = session_.panel.board().peek(at & ~3u, 4);
        if (!word) {
            return false;
        }
        for (uint32_t byte = at & 3u; byte < 4 && i < length; ++byte, ++i) {
            out[i] = static_cast<uint8_t>(*word >> (8 * byte));
        }
    }
    return true;
}

bool ImageTarget::writeMemory(uint32_t address, const uint8_t* data, size_t length) {
    if (!IsBus(address)) {
        if (!core_.writeSram(address, data, static_cast<uint32_t>(length))) {
            return false;
        }
    } else {
        if (address % 4 != 0 || length % 4 != 0) {
            return false;  // a register is written whole
        }
        for (size_t i = 0; i < length; i += 4) {
            uint32_t word = 0;
            std::memcpy(&word, data + i, 4);
            session_.panel.board().debugWrite(address + static_cast<uint32_t>(i), word, 4);
        }
    }
    listener_(HeldAction{HeldAction::Kind::WriteMemory, address,
                         std::string(reinterpret_cast<const char*>(data), length), {}});
    return true;
}

bool ImageTarget::insertBreak(BreakKind kind, uint32_t address, uint32_t length) {
    if (IsBreakpoint(kind)) {
        core_.addBreakpoint(address);
        breakKinds_[address & ~1u] = kind;
    } else {
        core_.addWatch(address, length, WatchOf(kind));
    }
    marks_.push_back(DebugMark{kind, address, length});
    return true;
}

bool ImageTarget::removeBreak(BreakKind kind, uint32_t address, uint32_t length) {
    if (IsBreakpoint(kind)) {
        core_.removeBreakpoint(address);
        breakKinds_.erase(address & ~1u);
    } else {
        core_.removeWatch(address, length, WatchOf(kind));
    }
    std::erase_if(marks_, [&](const DebugMark& mark) {
        return mark.kind == kind && mark.address == address &&
               (IsBreakpoint(kind) || mark.length == length);
    });
    return true;
}

std::vector<DebugMark> ImageTarget::marks() const {
    return marks_;
}

void ImageTarget::setMarks(const std::vector<DebugMark>& marks) {
    core_.clearDebugMarks();
    breakKinds_.clear();
    marks_.clear();
    for (const DebugMark& mark : marks) {
        insertBreak(mark.kind, mark.address, mark.length);
    }
}

bool ImageTarget::resume(gdb::Resume how, std::string& why) {
    shownStop_.reset();
    if (how == gdb::Resume::ReverseContinue || how == gdb::Resume::ReverseStep) {
        return reverse_(how, why);
    }
    interrupted_ = false;
    if (how == gdb::Resume::Step) {
        core_.stepInstruction();
    }
    // A monitor command's run stopped where the debugger has not looked yet: that stop is
    // this resume's.
    reportAtOnce_ = session_.panel.stoppedWhileHeld();
    return true;
}

void ImageTarget::reportAtOnce(const StopEvent& event) {
    shownStop_ = event;
    reportAtOnce_ = true;
}

void ImageTarget::interrupt() {
    interrupted_ = true;
    core_.requestHalt();
}

StopEvent ImageTarget::eventFor(const DebugStop& stop) const {
    StopEvent event;
    switch (stop.why) {
        case DebugStop::Why::Breakpoint: {
            const auto kind = breakKinds_.find(stop.pc);
            event.reason = kind != breakKinds_.end() && kind->second == BreakKind::Hardware
                               ? StopEvent::Reason::HardwareBreak
                               : StopEvent::Reason::SoftwareBreak;
            break;
        }
        case DebugStop::Why::Watch:
            event.reason = stop.watchKind == WatchKind::Write  ? StopEvent::Reason::Watch
                           : stop.watchKind == WatchKind::Read ? StopEvent::Reason::ReadWatch
                                                               : StopEvent::Reason::AccessWatch;
            event.address = stop.watchAddress;
            break;
        case DebugStop::Why::Step:
        case DebugStop::Why::Position:
            event.reason = StopEvent::Reason::Step;
            break;
        case DebugStop::Why::Halt:
            event.signal = interrupted_ ? 2 : 5;
            break;
    }
    return event;
}

StopEvent ImageTarget::lastStop() {
    if (shownStop_) {
        return *shownStop_;
    }
    if (core_.halted()) {
        StopEvent event;
        event.signal = 11;  // the firmware faulted: looked at, not resumed
        return event;
    }
    return eventFor(core_.debugStop());
}

std::string ImageTarget::monitor(const std::string& command) {
    const bool stoppedBefore = session_.panel.stoppedWhileHeld();
    const std::string text = RunMonitorCommand(session_, command);
    HeldAction action{HeldAction::Kind::Monitor, 0, command, {}};
    if (!stoppedBefore && session_.panel.stoppedWhileHeld()) {
        action.cutAt = core_.position();
    }
    listener_(std::move(action));
    return text;
}

void ImageTarget::detach() {
    core_.clearDebugMarks();
    breakKinds_.clear();
    marks_.clear();
}

}  // namespace app
