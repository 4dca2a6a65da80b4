#include "editor_paths.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "device_output.hpp"
#include "ini_store.hpp"

namespace kelvane {

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // A relative value is to be ignored, as the base directory rules say.
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kelvane/";
    const char* home = std::getenv("HOME");
    std::string base = home && home[0] ? home : "";
    if (base.empty()) {
        if (const passwd* pw = getpwuid(getuid())) base = pw->pw_dir ? pw->pw_dir : "";
    }
    if (base.empty()) return "";
    return base + "/.config/kelvane/";
}

std::string EditorSettingsPath() {
    return ConfigFolder() + "Kelvane2.ini";
}

const char* SettingsLineEnd() { return "\n"; }

std::string ReadSettingsFile(const std::string& path, std::string& text) {
    static const char TooLarge[] = "it is over 1 MB long, too large for a settings file";
    text.clear();
    // Without O_NONBLOCK, opening a pipe would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            // A symbolic link that leads nowhere is no missing file: the user made it.
            char target[PATH_MAX];
            const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
            if (n < 0) return "";
            return "it is a link to " + std::string(target, static_cast<size_t>(n)) + ", which is not there";
        }
        if (error == ENXIO) return "it is not a file";
        if (error == ENOTDIR) return "a part of its folder is a file";
        return ErrorText(error);
    }
    struct stat st {};
    std::string why;
    if (::fstat(fd, &st) != 0) {
        why = ErrorText(errno);
    } else if (S_ISDIR(st.st_mode)) {
        why = "it is a folder, not a file";
    } else if (S_ISFIFO(st.st_mode)) {
        why = "it is a pipe, not a file";
    } else if (!S_ISREG(st.st_mode)) {
        why = "it is a device, not a file";
    } else if (static_cast<unsigned long long>(st.st_size) > LargestSettingsFile) {
        why = TooLarge;
    }
    char buffer[4096];
    while (why.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) why = ErrorText(errno);
        if (n <= 0) break;
        // One that grows while it is read is held to the same bound.
        if (text.size() + static_cast<size_t>(n) > LargestSettingsFile) why = TooLarge;
        else text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    if (!why.empty()) text.clear();
    return why;
}

PortDevice ReadPortDevice(const std::string& port, const std::string& settingsFile) {
    const std::string standard = port == "COM1"   ? "/dev/ttyS0"
                                 : port == "COM2" ? "/dev/ttyS1"
                                 : port == "LPT1" ? "/dev/lp0"
                                                  : "";
    PortDevice device{standard, settingsFile, ""};
    IniStore store;
    std::string why;
    if (!store.Read(settingsFile, &why)) {
        device.problem = "The device map " + settingsFile + " could not be read: " + why + ".";
        if (!standard.empty()) device.problem += " " + port + " is " + standard + ".";
        return device;
    }
    const std::string mapped = store.PlainValue("Devices", port).value_or("");
    if (!mapped.empty()) device.path = mapped;
    return device;
}

}  // namespace kelvane
