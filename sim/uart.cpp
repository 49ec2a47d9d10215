#include "uart.hpp"

#include <cmath>

#include "board.hpp"
#include "remote_module.hpp"

namespace sim {

namespace {
constexpr uint32_t kCtlUarten = 1u << 0;
constexpr uint32_t kCtlTxe = 1u << 8;
constexpr uint32_t kCtlRxe = 1u << 9;
constexpr uint32_t kFrBusy = 1u << 3;
constexpr uint32_t kFrRxfe = 1u << 4;
constexpr uint32_t kFrTxff = 1u << 5;
constexpr uint32_t kFrRxff = 1u << 6;
constexpr uint32_t kFrTxfe = 1u << 7;
constexpr uint8_t kRxPin = 1u << 2;
constexpr uint8_t kTxPin = 1u << 3;
constexpr uint16_t kFramingError = 1u << 8;
constexpr uint32_t kRsrOverrun = 1u << 3;
constexpr double kBaudTolerance = 0.02;
// Receive time-out after 32 bit periods without a new character.
constexpr uint32_t kTimeoutBits = 32;
// FIFO levels of IFLS: 1/8, 1/4, 1/2, 3/4, 7/8 of 16.
constexpr size_t kLevels[5] = {2, 4, 8, 12, 14};
}  // namespace

Uart::Uart(Scheduler& scheduler, Nvic& nvic, GpioPort& pins)
    : scheduler_(scheduler), nvic_(nvic), pins_(pins) {}

Uart::~Uart() = default;

void Uart::connect(SerialPeer* peer) {
    if (peer_ != nullptr) {
        peer_->attached(nullptr);
    }
    peer_ = peer;
    lastMismatch_.clear();
    if (peer_ != nullptr) {
        peer_->attached(this);
    }
}

void Uart::plug(std::unique_ptr<SerialPeer> peer) {
    connect(nullptr);
    plugged_ = std::move(peer);
    connect(plugged_.get());
}

bool Uart::enabled() const {
    return (ctl_ & kCtlUarten) != 0;
}

bool Uart::transmitterOn() const {
    return enabled() && (ctl_ & kCtlTxe) != 0;
}

bool Uart::receiverOn() const {
    return enabled() && (ctl_ & kCtlRxe) != 0;
}

bool Uart::pinGiven(uint8_t pin) const {
    return (pins_.alternate() & pin) != 0 && (pins_.digitalEnable() & pin) != 0;
}

size_t Uart::txLevel() const {
    return kLevels[std::min<uint32_t>(ifls_ & 7u, 4)];
}

size_t Uart::rxLevel() const {
    return kLevels[std::min<uint32_t>((ifls_ >> 3) & 7u, 4)];
}

double Uart::configuredBaud() const {
    if (divisor_ == 0) {
        return 0;
    }
    return static_cast<double>(scheduler_.clockHz()) * 4.0 / divisor_;
}

LineFormat Uart::configuredFormat() const {
    LineFormat format;
    format.baud = static_cast<uint32_t>(std::lround(configuredBaud()));
    format.dataBits = static_cast<uint8_t>(5 + ((lcrh_ >> 5) & 3u));
    format.stopBits = (lcrh_ & kLcrhStp2) != 0 ? 2 : 1;
    if ((lcrh_ & kLcrhPen) == 0) {
        format.parity = 'N';
    } else if ((lcrh_ & kLcrhSps) != 0) {
        format.parity = (lcrh_ & kLcrhEps) != 0 ? 'S' : 'M';
    } else {
        format.parity = (lcrh_ & kLcrhEps) != 0 ? 'E' : 'O';
    }
    return format;
}

std::string Uart::mismatch() const {
    if (divisor_ < 64) {
        return "UART1 runs with a baud-rate divisor below 1 (IBRD " +
               std::to_string(divisor_ / 64) + ")";
    }
    if (peer_ == nullptr) {
        return {};
    }
    const LineFormat line = peer_->lineFormat();
    const LineFormat mine = configuredFormat();
    const double ratio = configuredBaud() / line.baud;
    if (std::fabs(ratio - 1.0) > kBaudTolerance || mine.dataBits != line.dataBits ||
        mine.parity != line.parity || mine.stopBits != line.stopBits) {
        return "UART1 is configured for " + mine.describe() + " but the line carries " +
               line.describe();
    }
    return {};
}

void Uart::lineError(const std::string& what) {
    // One record per distinct problem, not one per character.
    if (what != lastMismatch_) {
        lastMismatch_ = what;
        lineErrors_.push_back({scheduler_.nowMs(), what});
    }
}

void Uart::updateLine() {
    nvic_.setLine(kIrq, (ris_ & im_) != 0);
}

uint32_t Uart::read(uint32_t offset, unsigned) {
    switch (offset) {
        case 0x000: {
            if (rxFifo_.empty()) {
                return 0;
            }
            const uint16_t value = rxFifo_.front();
            popReceived();
            return value;
        }
        case 0x004:
            return rsr_;
        case 0x018: {
            uint32_t fr = 0;
            if (shifting_ || !txFifo_.empty()) {
                fr |= kFrBusy;
            }
            if (rxFifo_.empty()) {
                fr |= kFrRxfe;
            }
            if (txFifo_.size() >= fifoDepth()) {
                fr |= kFrTxff;
            }
            if (rxFifo_.size() >= fifoDepth()) {
                fr |= kFrRxff;
            }
            if (txFifo_.empty()) {
                fr |= kFrTxfe;
            }
            return fr;
        }
        case 0x024:
            return ibrd_;
        case 0x028:
            return fbrd_;
        case 0x02C:
            return lcrh_;
        case 0x030:
            return ctl_;
        case 0x034:
            return ifls_;
        case 0x038:
            return im_;
        case 0x03C:
            return ris_;
        case 0x040:
            return ris_ & im_;
        default:
            return 0;
    }
}

void Uart::write(uint32_t offset, uint32_t value, unsigned) {
    switch (offset) {
        case 0x000:
            if (!transmitterOn()) {
                ++lost_;
                return;
            }
            if (txFifo_.size() >= fifoDepth()) {
                ++lost_;  // written into a full FIFO: the character is lost
                return;
            }
            txFifo_.push_back(static_cast<uint8_t>(value));
            if (txFifo_.size() > txLevel()) {
                clearStatus(kIntTx);
            }
            if (!shifting_) {
                startTransmit();
            }
            return;
        case 0x004:
            rsr_ = 0;
            return;
        case 0x024:
            ibrd_ = value & 0xFFFFu;
            return;
        case 0x028:
            fbrd_ = value & 0x3Fu;
            return;
        case 0x02C:
            if ((value & kLcrhFen) == 0 && fifosEnabled()) {
                // Leaving FIFO mode keeps at most the one-character holding registers.
                while (txFifo_.size() > 1) {
                    txFifo_.pop_back();
                }
                while (rxFifo_.size() > 1) {
                    rxFifo_.pop_back();
                }
            }
            lcrh_ = value & 0xFFu;
            divisor_ = ibrd_ * 64 + fbrd_;
            lastMismatch_.clear();
            return;
        case 0x030: {
            const bool wasOn = transmitterOn();
            ctl_ = value & 0x3FFu;
            if (!wasOn && transmitterOn() && !txFifo_.empty() && !shifting_) {
                startTransmit();
            }
            return;
        }
        case 0x034:
            ifls_ = value & 0x3Fu;
            return;
        case 0x038:
            im_ = value & 0x7F0u;
            updateLine();
            return;
        case 0x044:
            clearStatus(value);
            return;
        default:
            return;
    }
}

void Uart::startTransmit() {
    if (txFifo_.empty() || !transmitterOn()) {
        return;
    }
    const std::string problem = mismatch();
    if (!problem.empty()) {
        lineError(problem);
    }
    const size_t before = txFifo_.size();
    shiftByte_ = txFifo_.front();
    txFifo_.pop_front();
    shifting_ = true;
    if (before > txLevel() && txFifo_.size() <= txLevel()) {
        setStatus(kIntTx);
    }
    const LineFormat format = configuredFormat();
    const Picoseconds duration =
        divisor_ == 0 ? format.bitsPerCharacter() * kPsPerUs
                      : static_cast<Picoseconds>(static_cast<double>(format.bitsPerCharacter()) *
                                                 1e12 / configuredBaud());
    txEvent_ = scheduler_.after(scheduler_.cyclesFor(duration), [this] {
        txEvent_ = 0;
        finishTransmit();
    });
}

void Uart::finishTransmit() {
    shifting_ = false;
    ++sent_;
    const bool onLine = pinGiven(kTxPin) && peer_ != nullptr;
    if (!onLine) {
        ++lost_;
    } else if (mismatch().empty()) {
        peer_->receiveFromPanel(shiftByte_);
    }
    // With a mismatched configuration the peer sees only line noise, which it ignores.
    startTransmit();
}

void Uart::receiveFromPeer(uint8_t byte) {
    if (!receiverOn() || !pinGiven(kRxPin)) {
        ++lost_;
        return;
    }
    uint16_t entry = byte;
    const std::string problem = mismatch();
    if (!problem.empty()) {
        lineError(problem);
        entry |= kFramingError;
        setStatus(kIntFe);
    }
    if (rxFifo_.size() >= fifoDepth()) {
        ++overruns_;
        rsr_ |= kRsrOverrun;
        setStatus(kIntOe);
        return;
    }
    ++received_;
    rxFifo_.push_back(entry);
    if (rxFifo_.size() >= rxLevel() || !fifosEnabled()) {
        setStatus(kIntRx);
    }
    restartReceiveTimeout();
}

void Uart::popReceived() {
    rxFifo_.pop_front();
    if (rxFifo_.size() < rxLevel() || !fifosEnabled()) {
        clearStatus(kIntRx);
    }
    if (rxFifo_.empty()) {
        clearStatus(kIntRt);
    }
}

void Uart::restartReceiveTimeout() {
    if (rtEvent_ != 0) {
        scheduler_.cancel(rtEvent_);
        rtEvent_ = 0;
    }
    const double baud = configuredBaud();
    if (baud <= 0) {
        return;
    }
    const auto period = static_cast<Picoseconds>(kTimeoutBits * 1e12 / baud);
    rtEvent_ = scheduler_.after(scheduler_.cyclesFor(period), [this] {
        rtEvent_ = 0;
        if (!rxFifo_.empty()) {
            setStatus(kIntRt);
        }
    });
}

Uart& Uart1(Board& board) {
    return dynamic_cast<Uart&>(*board.deviceAt(Uart::kBase));
}

RemoteModule& RemoteModuleOf(Board& board) {
    return dynamic_cast<RemoteModule&>(*Uart1(board).pluggedPeer());
}

}  // namespace sim
