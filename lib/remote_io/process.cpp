#include "process.hpp"

#include <cmath>
#include <cstdio>

namespace remote_io {

namespace {

struct Register {
    Role role;
    const char* name;
    double period;  // seconds: toggle, count step or full wave
};

// Block word i is register 98 + i.
constexpr Register kMap[kRegisterCount] = {
    {Role::Output, "STATUS LED", 0},  {Role::Output, "GPRS LED", 0},
    {Role::Output, "USER LED", 0},    {Role::DigitalInput, "DI1", 1.0},
    {Role::DigitalInput, "DI2", 1.5}, {Role::DigitalInput, "DI3", 2.0},
    {Role::DigitalInput, "DI4", 3.0}, {Role::Counter, "CNT1", 0.5},
    {Role::Counter, "CNT2", 1.0},     {Role::Counter, "CNT3", 2.0},
    {Role::Output, "DO1", 0},         {Role::Output, "DO2", 0},
    {Role::Output, "PO1", 0},         {Role::Output, "PO2", 0},
    {Role::Output, "PO3", 0},         {Role::Output, "PO4", 0},
    {Role::Analogue, "AI1", 4.0},     {Role::Analogue, "AI2", 6.0},
    {Role::Analogue, "AI3", 8.0},     {Role::Analogue, "AI4", 10.0},
    {Role::SmsRequest, "SMS", 0},     {Role::EmailRequest, "MAIL", 0},
};

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
    return kMap[index].role;
}

const char* NameOf(int index) {
    return kMap[index].name;
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
            registers_[static_cast<size_t>(i)] = InputAt(kMap[i], i, seconds);
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
