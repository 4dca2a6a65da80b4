#include "settings_files.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace kelvane {

namespace {

constexpr int32_t FileOutputMode = 4;
constexpr int32_t PrinterOutputMode = 0;

void SwitchFileOutputOff(PrinterLink& link) {
    link.setOutputToFile(false);
    link.setOutputMode(PrinterOutputMode);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// For "permission denied" on a device: the group whose members may write it.
std::string AccessHint(const std::string& devicePath, int error) {
    if (error != EACCES && error != EPERM) return "";
    struct stat info {};
    if (stat(devicePath.c_str(), &info) != 0) return "";
    const struct group* owner = getgrgid(info.st_gid);
    if (owner == nullptr || info.st_gid == 0) return "";
    return std::string(". Members of the group \"") + owner->gr_name + "\" may write it";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now so that a failure of the close can be reported.
    int release_and_close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

}  // namespace

void SaveSessionToFile(PrinterLink& link, SessionState& session, const std::string& path) {
    std::vector<int> written;
    try {
        link.setOutputToFile(true);
        link.setOutputMode(FileOutputMode);
        link.setOutputFileName(path);
        link.StartJob();
        for (int n = 0; n < SwitchCount; ++n) {
            if (session.SessionValues[n].empty()) continue;
            link.AddCommand(SetSwitchCommand(NumberText(static_cast<int16_t>(n)), session.SessionValues[n]));
            written.push_back(n);
        }
        link.AddCommand(ClosingCommand());
        link.EndJob();
    } catch (...) {
        // Later jobs must reach the printer again, not the file.
        try {
            SwitchFileOutputOff(link);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    SwitchFileOutputOff(link);
    for (int n : written) session.SessionValues[n].clear();
}

void ReplayFile(const std::string& filePath, const std::string& devicePath,
                std::chrono::milliseconds stallTimeout) {
    Descriptor file(::open(filePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        throw FileError("Cannot open the settings file " + Quoted(filePath) + ": " + std::strerror(errno));
    }
    // Non-blocking, so that a port that stops taking bytes is noticed below.
    Descriptor device(::open(devicePath.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (device.get() < 0) {
        const int error = errno;
        throw FileError("Cannot open the parallel port " + Quoted(devicePath) + " for writing: " +
                        std::strerror(error) + AccessHint(devicePath, error));
    }

    // A terminal line would turn LF into CR LF; the printer must get the bytes as saved.
    struct termios line {};
    if (::isatty(device.get()) && ::tcgetattr(device.get(), &line) == 0) {
        ::cfmakeraw(&line);
        ::tcsetattr(device.get(), TCSANOW, &line);
    }

    std::vector<char> buffer(64 * 1024);
    auto lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileError("Cannot read the settings file " + Quoted(filePath) + ": " + std::strerror(errno));
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(device.get(), buffer.data() + done, static_cast<size_t>(got - done));
            if (put > 0) {
                done += put;
                lastProgress = std::chrono::steady_clock::now();
                continue;
            }
            if (put < 0 && errno == EINTR) continue;
            if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (std::chrono::steady_clock::now() - lastProgress >= stallTimeout) {
                    char seconds[32];
                    std::snprintf(seconds, sizeof seconds, "%g", stallTimeout.count() / 1000.0);
                    throw FileError("Cannot write to the parallel port " + Quoted(devicePath) +
                                    ": it took nothing more for " + seconds +
                                    " s. Is the printer switched on, online and loaded with paper?");
                }
                pollfd ready{device.get(), POLLOUT, 0};
                ::poll(&ready, 1, 50);
                if (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) {
                    throw FileError("Cannot write to the parallel port " + Quoted(devicePath) +
                                    ": the device went away");
                }
                // Some port drivers report "ready" while they are not; do not spin.
                ::poll(nullptr, 0, 5);
                continue;
            }
            const std::string reason = put < 0 ? std::strerror(errno) : "the device took no more bytes";
            throw FileError("Cannot write to the parallel port " + Quoted(devicePath) + ": " + reason);
        }
    }
    file.release_and_close();
    if (device.release_and_close() != 0) {
        throw FileError("Cannot write to the parallel port " + Quoted(devicePath) + ": " + std::strerror(errno));
    }
}

}  // namespace kelvane
