#include "device_output.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace kelvane {

OutputDevice::OutputDevice(const std::string& path, bool createFile) {
    // Non-blocking, so that a device that stops taking bytes is noticed.
    int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
    // A file standing in for a printer gets each job added, never written
    // over from its start (which would leave the old tail behind).
    if (path.rfind("/dev/", 0) != 0) flags |= O_APPEND | (createFile ? O_CREAT : 0);
    handle_ = ::open(path.c_str(), flags, 0666);
    if (handle_ < 0) {
        openError_ = errno;
        return;
    }
    // Root may write anything, but a file without any write permission is
    // one its owner meant to keep: refused as it is for everyone else.
    struct stat info {};
    if (::geteuid() == 0 && ::fstat(handle_, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) {
        ::close(handle_);
        handle_ = -1;
        openError_ = EACCES;
        return;
    }
    termios line{};
    if (::isatty(handle_) && ::tcgetattr(handle_, &line) == 0 && (line.c_oflag & OPOST)) {
        line.c_oflag &= ~OPOST;
        ::tcsetattr(handle_, TCSANOW, &line);
    }
}

OutputDevice::~OutputDevice() {
    if (handle_ >= 0) ::close(handle_);
}

DeviceWrite OutputDevice::Write(const char* bytes, std::size_t length, std::chrono::milliseconds stallTimeout) {
    using Clock = std::chrono::steady_clock;
    DeviceWrite result;
    auto lastProgress = Clock::now();
    while (result.written < length) {
        const ssize_t put = ::write(handle_, bytes + result.written, length - result.written);
        if (put > 0) {
            result.written += static_cast<std::size_t>(put);
            lastProgress = Clock::now();
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            result.stop = DeviceWrite::Stop::Error;
            result.error = errno;
            return result;
        }
        const auto left = stallTimeout - std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
        if (left.count() <= 0) {
            result.stop = DeviceWrite::Stop::Stalled;
            return result;
        }
        pollfd ready{handle_, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
        if (polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            result.stop = DeviceWrite::Stop::Gone;
            return result;
        }
        // Some port drivers report "ready" while they are not; do not spin.
        if (polled > 0) ::poll(nullptr, 0, 5);
    }
    return result;
}

int OutputDevice::Close() {
    const int closed = ::close(handle_);
    handle_ = -1;
    return closed == 0 ? 0 : errno;
}

std::string ErrorText(int error) { return std::strerror(error); }

std::string AccessGroup(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    if (info.st_gid == 0 || (info.st_mode & S_IWGRP) == 0) return {};
    if (const group* owner = ::getgrgid(info.st_gid)) return owner->gr_name;
    return std::to_string(info.st_gid);
}

std::string SecondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count() / 1000.0);
    return text;
}

}  // namespace kelvane
