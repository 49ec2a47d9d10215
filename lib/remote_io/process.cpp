#include "process.hpp"

#include <cmath>
#include <cstdio>

namespace remote_io {

namespace {

constexpr double kAnalogueFullScale = 1000.0;

uint16_t InputAt(const Register& r, int index, double seconds) {
    const double steps = std::floor(seconds / r.period);
    switch (r.role) {
        case Role::DigitalInput:
            return static_cast<uint16_t>(static_cast<uint64_t>(steps) % 2);
        case Role::Counter:
            return static_cast<uint16_t>(static_cast<uint64_t>(steps) % 65536);
        case Role::Analogue: {
            // A triangle wave, each channel shifted so that they do not move in step.
            const double phase = std::fmod(seconds / r.period + 0.1 * index, 1.0);
            const double level = phase < 0.5 ? 2 * phase : 2 * (1 - phase);
            return static_cast<uint16_t>(std::lround(level * kAnalogueFullScale));
        }
        default:
            return 0;
    }
}

}  // namespace

Role RoleOf(int index) {
    return kRegisters[index].role;
}

const char* NameOf(int index) {
    return kRegisters[index].tool;
}

bool IsInput(int index) {
    const Role role = RoleOf(index);
    return role == Role::DigitalInput || role == Role::Counter || role == Role::Analogue;
}

void Process::advanceTo(double seconds) {
    if (!running_) {
        return;
    }
    for (int i = 0; i < kRegisterCount; ++i) {
        if (IsInput(i)) {
            registers_[static_cast<size_t>(i)] = InputAt(kRegisters[i], i, seconds);
        }
    }
}

void Process::write(int index, uint16_t value, double seconds) {
    uint16_t& reg = registers_.at(static_cast<size_t>(index));
    const Role role = RoleOf(index);
    if (reg == 1 && value == 0 && (role == Role::SmsRequest || role == Role::EmailRequest)) {
        events_.push_back(
            {seconds, role == Role::SmsRequest ? Event::Kind::Sms : Event::Kind::Email});
    }
    reg = value;
}

std::string Describe(const Event& event) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.3f s: %s request", event.seconds,
                  event.kind == Event::Kind::Sms ? "SMS" : "e-mail");
    return text;
}

}  // namespace remote_io
