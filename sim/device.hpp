// A peripheral model behind the bus decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace sim {

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

    // The bus decoder installs this; a model calls fault() for an access the hardware would
    // answer with a bus fault.
    void setFaultReporter(std::function<void(const std::string&)> reporter) {
        faultReporter_ = std::move(reporter);
    }

  protected:
    void fault(const std::string& what) const {
        if (faultReporter_) {
            faultReporter_(what);
        }
    }

  private:
    std::function<void(const std::string&)> faultReporter_;
};

}  // namespace sim
