#include "serial_bridge.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace sim {

namespace {

// How often the bridge looks at the host side, in virtual time.
constexpr Picoseconds kTickPeriod = 1 * kPsPerMs;
// Further behind real time than this (the harness held the simulation), pacing starts afresh
// instead of racing to catch up.
constexpr auto kResync = std::chrono::milliseconds(50);

bool SpeedFor(uint32_t baud, speed_t* speed) {
    struct Entry {
        uint32_t baud;
        speed_t speed;
    };
    const Entry table[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},
                           {9600, B9600},     {19200, B19200},   {38400, B38400},
                           {57600, B57600},   {115200, B115200}, {230400, B230400},
                           {460800, B460800}, {921600, B921600}};
    for (const Entry& entry : table) {
        if (entry.baud == baud) {
            *speed = entry.speed;
            return true;
        }
    }
    return false;
}

bool MakeRaw(int fd, const LineFormat& format, std::string* error) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        *error = std::string("tcgetattr: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (format.dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    if (format.parity == 'E' || format.parity == 'O') {
        tio.c_cflag |= PARENB;
        if (format.parity == 'O') {
            tio.c_cflag |= PARODD;
        }
    }
    if (format.stopBits == 2) {
        tio.c_cflag |= CSTOPB;
    }
    speed_t speed = B115200;
    if (!SpeedFor(format.baud, &speed)) {
        *error = "unsupported baud rate " + std::to_string(format.baud);
        return false;
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = std::string("tcsetattr: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<SerialBridge> SerialBridge::OpenDevice(Scheduler& scheduler,
                                                       const std::string& path,
                                                       const LineFormat& format,
                                                       std::string* error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    if (!MakeRaw(fd, format, error)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SerialBridge>(new SerialBridge(scheduler, fd, format, path));
}

std::unique_ptr<SerialBridge> SerialBridge::OpenPseudoTerminal(Scheduler& scheduler,
                                                               const LineFormat& format,
                                                               std::string* error) {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    const char* name = ::ptsname(fd);
    if (name == nullptr || !MakeRaw(fd, format, error)) {
        if (name == nullptr) {
            *error = "pseudo-terminal without a name";
        }
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SerialBridge>(new SerialBridge(scheduler, fd, format, name));
}

SerialBridge::SerialBridge(Scheduler& scheduler, int fd, const LineFormat& format,
                           std::string peerPath)
    : scheduler_(scheduler),
      fd_(fd),
      format_(format),
      peerPath_(std::move(peerPath)),
      transmitter_(scheduler) {}

SerialBridge::~SerialBridge() {
    attached(nullptr);
    ::close(fd_);
}

void SerialBridge::attached(SerialPort* port) {
    transmitter_.setPort(port);
    plugged_ = port != nullptr;
    if (!plugged_) {
        transmitter_.cancel();
        if (tickEvent_ != 0) {
            scheduler_.cancel(tickEvent_);
            tickEvent_ = 0;
        }
        anchored_ = false;
        return;
    }
    if (tickEvent_ == 0) {
        tickEvent_ = scheduler_.after(0, [this] { tick(); });
    }
}

void SerialBridge::receiveFromPanel(uint8_t byte) {
    if (::write(fd_, &byte, 1) == 1) {
        ++toPeer_;
    } else {
        ++dropped_;
    }
}

void SerialBridge::pace() {
    const auto wall = std::chrono::steady_clock::now();
    const Picoseconds virtualNow = scheduler_.nowPs();
    if (!anchored_) {
        anchored_ = true;
        wallAnchor_ = wall;
        virtualAnchor_ = virtualNow;
        return;
    }
    const auto due = wallAnchor_ + std::chrono::nanoseconds((virtualNow - virtualAnchor_) / 1000);
    if (wall < due) {
        std::this_thread::sleep_until(due);
    } else if (wall - due > kResync) {
        wallAnchor_ = wall;
        virtualAnchor_ = virtualNow;
    }
}

void SerialBridge::tick() {
    tickEvent_ = 0;
    pace();
    uint8_t buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof(buffer));
        if (n <= 0) {
            break;  // nothing there, or no peer has the other end open
        }
        fromPeer_ += static_cast<uint64_t>(n);
        transmitter_.send(buffer, static_cast<size_t>(n), format_.characterTime());
    }
    if (plugged_) {
        tickEvent_ = scheduler_.after(scheduler_.cyclesFor(kTickPeriod), [this] { tick(); });
    }
}

}  // namespace sim
