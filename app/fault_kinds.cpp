#include "fault_kinds.hpp"

namespace app {

const std::vector<FaultKind>& FaultKinds() {
    static const std::vector<FaultKind> kinds = {
        {"none", "none", '0', false, sim::ModuleFault::None},
        {"silence", "silent module", '1', false, sim::ModuleFault::Silence},
        {"bad-crc", "bad CRC", '2', false, sim::ModuleFault::BadCrc},
        {"exception", "exception answers", '3', false, sim::ModuleFault::Exception},
        {"late", "late answers", '4', false, sim::ModuleFault::Late},
        {"unplugged", "unplugged", '5', true, sim::ModuleFault::None},
        {"wrong-address", "wrong slave address", '6', false, sim::ModuleFault::WrongAddress},
        {"wrong-function", "wrong function", '7', false, sim::ModuleFault::WrongFunction},
        {"truncated", "truncated answers", '8', false, sim::ModuleFault::Truncated},
        {"noise", "line noise", '9', false, sim::ModuleFault::Noise},
    };
    return kinds;
}

const FaultKind* FindFaultKind(std::string_view name) {
    for (const FaultKind& kind : FaultKinds()) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

const FaultKind* FaultKindOfKey(int key) {
    for (const FaultKind& kind : FaultKinds()) {
        if (key == kind.key) {
            return &kind;
        }
    }
    return nullptr;
}

std::string FaultKindNames() {
    std::string names;
    for (const FaultKind& kind : FaultKinds()) {
        names += (names.empty() ? "" : ", ") + std::string(kind.name);
    }
    return names;
}

std::string FaultKeys() {
    std::string keys;
    for (const FaultKind& kind : FaultKinds()) {
        if (kind.fault != sim::ModuleFault::None || kind.unplugged) {
            keys += std::string(1, kind.key) + " " + kind.label + ", ";
        }
    }
    return keys + FaultKinds().front().key + " module back to normal";
}

}  // namespace app
