#include "systick.hpp"

#include "nvic.hpp"

namespace sim {

namespace {
constexpr size_t kWrapHistory = 4096;
}  // namespace

uint32_t SysTick::currentValue() const {
    if (!enabled()) {
        return frozen_;
    }
    // k clocks before the next zero the counter reads k; a full period before it, it reads 0.
    const uint64_t period = (static_cast<uint64_t>(reload_) + 1) * divisor();
    const uint64_t remaining = nextZero_ - scheduler_.now();
    if (remaining >= period) {
        return 0;
    }
    return static_cast<uint32_t>((remaining + divisor() - 1) / divisor());
}

void SysTick::start(uint32_t fromValue) {
    scheduler_.cancel(event_);
    if (reload_ == 0 && fromValue == 0) {
        return;  // a reload value of 0 keeps the counter stopped
    }
    // From 0 the counter loads RELOAD on the next clock and reaches zero RELOAD clocks later.
    const uint64_t clocks = fromValue == 0 ? static_cast<uint64_t>(reload_) + 1 : fromValue;
    nextZero_ = scheduler_.now() + clocks * divisor();
    event_ = scheduler_.at(nextZero_, [this] { onZero(); });
}

void SysTick::stop() {
    frozen_ = currentValue();
    scheduler_.cancel(event_);
    event_ = 0;
}

void SysTick::onZero() {
    ++wraps_;
    wrapCycles_.push_back(scheduler_.now());
    if (wrapCycles_.size() > kWrapHistory) {
        wrapCycles_.pop_front();
    }
    countFlag_ = true;
    if (interruptEnabled()) {
        nvic_.pendSysTick();
    }
    event_ = 0;
    if (reload_ != 0) {
        nextZero_ = scheduler_.now() + (static_cast<uint64_t>(reload_) + 1) * divisor();
        event_ = scheduler_.at(nextZero_, [this] { onZero(); });
    }
}

uint32_t SysTick::read(uint32_t offset) {
    const uint32_t value = peek(offset);
    if (offset == systick::CTRL) {
        countFlag_ = false;  // reading CTRL clears COUNTFLAG
    }
    return value;
}

uint32_t SysTick::peek(uint32_t offset) const {
    using namespace systick;
    switch (offset) {
        case CTRL:
            return countFlag_ ? ctrl_ | CTRL_COUNT : ctrl_;
        case RELOAD:
            return reload_;
        case CURRENT:
            return currentValue();
        default:
            return 0;  // CALIB
    }
}

void SysTick::write(uint32_t offset, uint32_t value) {
    using namespace systick;
    switch (offset) {
        case CTRL: {
            const bool wasEnabled = enabled();
            ctrl_ = value & (CTRL_ENABLE | CTRL_INTEN | CTRL_CLK_SRC);
            if (enabled() && !wasEnabled) {
                start(frozen_);
            } else if (!enabled() && wasEnabled) {
                stop();
            }
            break;
        }
        case RELOAD:
            reload_ = value & RELOAD_MASK;  // takes effect at the next reload
            break;
        case CURRENT:
            countFlag_ = false;
            frozen_ = 0;
            if (enabled()) {
                start(0);
            }
            break;
        default:
            break;
    }
}

}  // namespace sim
