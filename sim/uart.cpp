#include "uart.hpp"

#include <cmath>

#include "board.hpp"
#include "remote_module.hpp"

namespace sim {

using namespace uart;

namespace {
constexpr uint8_t kRxPin = 1u << 2;
constexpr uint8_t kTxPin = 1u << 3;
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
    return (ctl_ & CTL_UARTEN) != 0;
}

bool Uart::transmitterOn() const {
    return enabled() && (ctl_ & CTL_TXE) != 0;
}

bool Uart::receiverOn() const {
    return enabled() && (ctl_ & CTL_RXE) != 0;
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
    format.dataBits = static_cast<uint8_t>(5 + ((lcrh_ >> LCRH_WLEN_SHIFT) & 3u));
    format.stopBits = (lcrh_ & LCRH_STP2) != 0 ? 2 : 1;
    if ((lcrh_ & LCRH_PEN) == 0) {
        format.parity = 'N';
    } else if ((lcrh_ & LCRH_SPS) != 0) {
        format.parity = (lcrh_ & LCRH_EPS) != 0 ? 'S' : 'M';
    } else {
        format.parity = (lcrh_ & LCRH_EPS) != 0 ? 'E' : 'O';
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

void Uart::drop(uint8_t byte, const char* why, bool overrun) {
    ++(overrun ? overruns_ : lost_);
    warn(WarningKind::CharacterDropped, DR, byte, "UART1 dropped a character " + std::string(why));
}

void Uart::updateLine() {
    nvic_.setLine(kIrq, (ris_ & im_) != 0);
}

uint32_t Uart::peek(uint32_t offset, unsigned size) {
    if (offset == DR) {
        return rxFifo_.empty() ? 0 : rxFifo_.front();
    }
    return read(offset, size);
}

uint32_t Uart::read(uint32_t offset, unsigned) {
    switch (offset) {
        case DR: {
            if (rxFifo_.empty()) {
                return 0;
            }
            const uint16_t value = rxFifo_.front();
            popReceived();
            return value;
        }
        case RSR:
            return rsr_;
        case FR: {
            uint32_t fr = 0;
            if (shifting_ || !txFifo_.empty()) {
                fr |= FR_BUSY;
            }
            if (rxFifo_.empty()) {
                fr |= FR_RXFE;
            }
            if (txFifo_.size() >= fifoDepth()) {
                fr |= FR_TXFF;
            }
            if (rxFifo_.size() >= fifoDepth()) {
                fr |= FR_RXFF;
            }
            if (txFifo_.empty()) {
                fr |= FR_TXFE;
            }
            return fr;
        }
        case IBRD:
            return ibrd_;
        case FBRD:
            return fbrd_;
        case LCRH:
            return lcrh_;
        case CTL:
            return ctl_;
        case IFLS:
            return ifls_;
        case IM:
            return im_;
        case RIS:
            return ris_;
        case MIS:
            return ris_ & im_;
        default:
            return 0;  // the bus decoder has reported the offset
    }
}

void Uart::write(uint32_t offset, uint32_t value, unsigned) {
    switch (offset) {
        case DR:
            if (!transmitterOn()) {
                drop(static_cast<uint8_t>(value), "written while the transmitter is off");
                return;
            }
            if (txFifo_.size() >= fifoDepth()) {
                drop(static_cast<uint8_t>(value), "written into a full transmit FIFO");
                return;
            }
            txFifo_.push_back(static_cast<uint8_t>(value));
            if (txFifo_.size() > txLevel()) {
                clearStatus(INT_TX);
            }
            if (!shifting_) {
                startTransmit();
            }
            return;
        case RSR:
            rsr_ = 0;
            return;
        case IBRD:
            ibrd_ = value & IBRD_MASK;
            return;
        case FBRD:
            fbrd_ = value & FBRD_MASK;
            return;
        case LCRH:
            if ((value & LCRH_FEN) == 0 && fifosEnabled()) {
                // Leaving FIFO mode keeps at most the one-character holding registers.
                while (txFifo_.size() > 1) {
                    txFifo_.pop_back();
                }
                while (rxFifo_.size() > 1) {
                    rxFifo_.pop_back();
                }
            }
            lcrh_ = value & LCRH_MASK;
            divisor_ = ibrd_ * 64 + fbrd_;
            lastMismatch_.clear();
            return;
        case CTL: {
            const bool wasOn = transmitterOn();
            ctl_ = value & CTL_MASK;
            if (!wasOn && transmitterOn() && !txFifo_.empty() && !shifting_) {
                startTransmit();
            }
            return;
        }
        case IFLS:
            ifls_ = value & IFLS_MASK;
            return;
        case IM:
            im_ = value & INT_MASK;
            updateLine();
            return;
        case ICR:
            clearStatus(value);
            return;
        default:
            return;  // the bus decoder has reported the offset
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
        setStatus(INT_TX);
    }
    const LineFormat format = configuredFormat();
    const Picoseconds duration =
        divisor_ == 0 ? format.bitsPerCharacter() * kPsPerUs
                      : static_cast<Picoseconds>(static_cast<double>(format.bitsPerCharacter()) *
                                                 1e12 / configuredBaud());
    if (!lineListeners_.empty()) {
        tellLineListeners({true, shiftByte_, scheduler_.nowPs(),
                           duration / format.bitsPerCharacter(), format});
    }
    txEvent_ = scheduler_.after(scheduler_.cyclesFor(duration), [this] {
        txEvent_ = 0;
        finishTransmit();
    });
}

void Uart::finishTransmit() {
    shifting_ = false;
    ++sent_;
    if (!pinGiven(kTxPin)) {
        drop(shiftByte_, "sent while its transmit pin is not given to the UART");
    } else if (peer_ == nullptr) {
        drop(shiftByte_, "sent with nothing plugged into the line");
    } else if (const std::string problem = mismatch(); problem.empty()) {
        peer_->receiveFromPanel(shiftByte_);
    } else {
        // With a mismatched configuration the peer sees only line noise, which it ignores.
        warn(WarningKind::CharacterDropped, DR, shiftByte_,
             "UART1 sent a character the line cannot carry: " + problem);
    }
    startTransmit();
}

void Uart::receiveFromPeer(uint8_t byte) {
    if (!lineListeners_.empty()) {
        // The character was on the line in the peer's format, whatever the UART makes of it.
        const LineFormat format = peer_ != nullptr ? peer_->lineFormat() : configuredFormat();
        const Picoseconds now = scheduler_.nowPs();
        const Picoseconds length = format.characterTime();
        tellLineListeners({false, byte, now > length ? now - length : 0, format.bitTime(), format});
    }
    if (!receiverOn()) {
        drop(byte, "received while the receiver is off");
        return;
    }
    if (!pinGiven(kRxPin)) {
        drop(byte, "received while its receive pin is not given to the UART");
        return;
    }
    uint16_t entry = byte;
    const std::string problem = mismatch();
    if (!problem.empty()) {
        lineError(problem);
        entry |= DR_FE;
        setStatus(INT_FE);
    }
    if (rxFifo_.size() >= fifoDepth()) {
        drop(byte, "received into a full receive FIFO (overrun)", true);
        rsr_ |= RSR_OE;
        setStatus(INT_OE);
        return;
    }
    ++received_;
    rxFifo_.push_back(entry);
    if (rxFifo_.size() >= rxLevel() || !fifosEnabled()) {
        setStatus(INT_RX);
    }
    restartReceiveTimeout();
}

void Uart::popReceived() {
    rxFifo_.pop_front();
    if (rxFifo_.size() < rxLevel() || !fifosEnabled()) {
        clearStatus(INT_RX);
    }
    if (rxFifo_.empty()) {
        clearStatus(INT_RT);
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
            setStatus(INT_RT);
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
