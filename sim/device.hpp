// A peripheral model behind the bus decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "registers.hpp"

namespace sim {

// What a model tells the board it does not model or cannot carry; the board records it with the
// cycle and address (board.hpp, BoardWarning).
enum class WarningKind : uint8_t {
    Unimplemented,  // no register at that offset
    WriteToReadOnly,
    ReadOfWriteOnly,
    CharacterDropped,  // a serial character that never reached its receiver
};

using WarningReporter =
    std::function<void(WarningKind, uint32_t offset, uint32_t value, const std::string& what)>;

// A part of the board that is not on the bus (a model that watches pins, say), owned by the
// board for its lifetime.
class Part {
  public:
    virtual ~Part() = default;
};

class Device {
  public:
    virtual ~Device() = default;
    virtual std::string name() const = 0;
    // offset: from the device's base; size: 4 for word accesses, 1 for byte accesses.
    virtual uint32_t read(uint32_t offset, unsigned size) = 0;
    virtual void write(uint32_t offset, uint32_t value, unsigned size) = 0;
    // What a read would return, without what reading does (a debugger looking): the models whose
    // reads change their state override it.
    virtual uint32_t peek(uint32_t offset, unsigned size) { return read(offset, size); }
    // The registers the model implements; empty for plain memory, which the bus does not check.
    virtual RegisterTable registers() const { return {}; }

    // The bus decoder installs this; a model calls fault() for an access the hardware would
    // answer with a bus fault.
    void setFaultReporter(std::function<void(const std::string&)> reporter) {
        faultReporter_ = std::move(reporter);
    }

    // The bus decoder installs this too; a model calls warn() for something it drops.
    void setWarningReporter(WarningReporter reporter) { warningReporter_ = std::move(reporter); }

  protected:
    void warn(WarningKind kind, uint32_t offset, uint32_t value, const std::string& what) const {
        if (warningReporter_) {
            warningReporter_(kind, offset, value, what);
        }
    }
    void fault(const std::string& what) const {
        if (faultReporter_) {
            faultReporter_(what);
        }
    }

  private:
    std::function<void(const std::string&)> faultReporter_;
    WarningReporter warningReporter_;
};

}  // namespace sim
