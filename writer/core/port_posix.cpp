// Serial and parallel ports on Linux: termios, a non-blocking descriptor and
// poll deadlines in place of the device time-outs.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "port_platform.hpp"

namespace quarveld {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A device that answers "ready" and then "try again" (some printer drivers do
// not poll) must not turn the deadline into a busy loop.
constexpr milliseconds RetryPause{10};

bool DeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

int MillisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void SleepUntil(Clock::time_point deadline) { std::this_thread::sleep_until(deadline); }

speed_t SpeedFor(int baudRate) {
    switch (baudRate) {
        case 19200: return B19200;
        case 4800: return B4800;
        case 2400: return B2400;
        default: return B9600;
    }
}

class PosixPort final : public WritePort {
public:
    PosixPort(int fd, bool answers) : fd_(fd), answers_(answers) {}
    ~PosixPort() override {
        if (answers_) ::ioctl(fd_, TIOCNXCL);  // leave no exclusion behind on the tty
        ::close(fd_);
    }
    PosixPort(const PosixPort&) = delete;
    PosixPort& operator=(const PosixPort&) = delete;

    std::size_t Write(const uint8_t* bytes, std::size_t length, IoStatus& status) override {
        const auto deadline =
            Clock::now() + milliseconds(WriteTimeoutConstantMs + WriteTimeoutPerByteMs * length);
        std::size_t done = 0;
        bool pollSaidReady = false;
        status = IoStatus::Ok;
        while (done < length) {
            ssize_t n = ::write(fd_, bytes + done, length - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                pollSaidReady = false;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                status = DeviceGone(errno) ? IoStatus::Gone : IoStatus::Failed;
                if (status == IoStatus::Failed) SleepUntil(deadline);
                return done;
            }
            // Nothing taken: wait for room until the deadline.
            if (pollSaidReady) {
                std::this_thread::sleep_for(
                    std::min<milliseconds>(RetryPause, milliseconds(MillisLeft(deadline))));
            }
            int left = MillisLeft(deadline);
            if (left == 0) {
                status = IoStatus::TimedOut;
                return done;
            }
            pollfd p{fd_, POLLOUT, 0};
            int r = ::poll(&p, 1, left);
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) {
                status = IoStatus::TimedOut;
                return done;
            }
            if (r > 0 && (p.revents & POLLHUP)) {
                status = IoStatus::Gone;
                return done;
            }
            if (r < 0 || (p.revents & (POLLERR | POLLNVAL))) {
                status = IoStatus::Failed;
                SleepUntil(deadline);
                return done;
            }
            pollSaidReady = true;
        }
        return done;
    }

    IoStatus ReadByte(uint8_t& byte) override {
        const auto deadline = Clock::now() + milliseconds(ReadTimeoutMs);
        if (!answers_) {
            SleepUntil(deadline);  // nothing is ever read back from this port
            return IoStatus::TimedOut;
        }
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            int r = ::poll(&p, 1, MillisLeft(deadline));
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) return IoStatus::TimedOut;
            if (r < 0 || (p.revents & POLLNVAL)) {
                SleepUntil(deadline);
                return IoStatus::Failed;
            }
            if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
                // Read even on a hang-up: bytes sent before it are still due.
                ssize_t n = ::read(fd_, &byte, 1);
                if (n == 1) return IoStatus::Ok;
                if (n == 0) return IoStatus::Gone;  // end of file: the line was hung up
                if (errno == EINTR) continue;
                if (DeviceGone(errno)) return IoStatus::Gone;
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    if (p.revents & POLLHUP) return IoStatus::Gone;
                    if (MillisLeft(deadline) == 0) return IoStatus::TimedOut;
                    std::this_thread::sleep_for(
                        std::min<milliseconds>(RetryPause, milliseconds(MillisLeft(deadline))));
                    continue;
                }
                SleepUntil(deadline);
                return IoStatus::Failed;
            }
        }
    }

private:
    int fd_;
    bool answers_;
};

// Another holder of the device makes the open fail; the lock is the one
// exclusion that binds root too. Other lock errors (a file system without
// locks) are set-up failures and are ignored.
bool TakeExclusive(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
    return true;
}

constexpr const char* HeldElsewhere = "the device is in use by another program";

// The system's reason for a failed open; when rights are missing, the group
// whose members may write the device, as a user can act on it.
std::string OpenFailure(const std::string& path, int error) {
    std::string why = std::strerror(error);
    struct stat device {};
    if ((error != EACCES && error != EPERM) || ::stat(path.c_str(), &device) != 0) return why;
    const group* owner = ::getgrgid(device.st_gid);
    if (owner == nullptr || device.st_gid == 0 || (device.st_mode & S_IWGRP) == 0) return why;
    const std::string name = owner->gr_name;
    return why + "; members of the group " + name + " may use it (usermod -aG " + name +
           " USER, then log in again)";
}

// The descriptor of an open that worked and whose device nobody else holds;
// otherwise -1 with the reason in `why` (errno is the open's when fd < 0).
int Claim(const std::string& path, int fd, std::string& why) {
    if (fd < 0) {
        why = OpenFailure(path, errno);
        return -1;
    }
    if (!TakeExclusive(fd)) {
        ::close(fd);
        why = HeldElsewhere;
        return -1;
    }
    return fd;
}

// False (errno set) when the device is no terminal line or refuses the settings.
bool SetLine(int fd, const LineParameters& line) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    // HUPCL: DTR and RTS stay on only while the port is open.
    t.c_cflag |= static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL | (line.dataBits == 7 ? CS7 : CS8));
    if (line.stopBits == 2) t.c_cflag |= CSTOPB;
    if (line.hardwareFlow) t.c_cflag |= CRTSCTS;
    if (line.parity != ParityMode::None) {
        t.c_cflag |= PARENB;
        if (line.parity == ParityMode::Odd) t.c_cflag |= PARODD;
    }
    // Unchecked parity: received bytes pass unchanged, errors or not.
    t.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR | IXON | IXOFF | IXANY | PARMRK);
    t.c_iflag |= line.checkParity ? INPCK : IGNPAR;
    if (line.softwareFlow) t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = ReadTimeoutMs / 100;
    ::cfsetispeed(&t, SpeedFor(line.baudRate));
    ::cfsetospeed(&t, SpeedFor(line.baudRate));
    // Success when any of it was taken: a pty keeps 8 bits and no parity.
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

void SetModemLines(int fd, const LineParameters& line) {
    int on = (line.dtrOn ? TIOCM_DTR : 0) | (line.rtsOn ? TIOCM_RTS : 0);
    int off = (line.dtrOn ? 0 : TIOCM_DTR) | (line.rtsOn ? 0 : TIOCM_RTS);
    if (on) ::ioctl(fd, TIOCMBIS, &on);
    if (off) ::ioctl(fd, TIOCMBIC, &off);
}

}  // namespace

std::unique_ptr<WritePort> OpenSerialDevice(const std::string& path, const LineParameters& line,
                                            std::string& why) {
    const int fd = Claim(path, ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), why);
    if (fd < 0) return nullptr;
    ::ioctl(fd, TIOCEXCL);
    if (!SetLine(fd, line)) {
        why = LineSetUpFailed + std::string(std::strerror(errno));
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    SetModemLines(fd, line);
    ::tcflush(fd, TCIOFLUSH);
    return std::make_unique<PosixPort>(fd, true);
}

std::unique_ptr<WritePort> OpenParallelDevice(const std::string& path, std::string& why) {
    // Printer devices may refuse reading; writing is all this port needs.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    fd = Claim(path, fd, why);
    if (fd < 0) return nullptr;
    // A terminal line standing in for LPT1 would turn every 0x0A of a frame
    // into 0D 0A; the bytes must go out as they are. Nothing else of the line
    // is touched.
    termios t{};
    if (::tcgetattr(fd, &t) == 0 && (t.c_oflag & OPOST)) {
        t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return std::make_unique<PosixPort>(fd, false);
}

}  // namespace quarveld
