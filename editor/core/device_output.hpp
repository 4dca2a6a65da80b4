#pragma once
// A printer device or a file opened for writing: what "Load Switches" and the
// printer-link control both send their bytes through.
#include <chrono>
#include <cstddef>
#include <string>

namespace kelvane {

// How far a write got, and why it stopped short.
struct DeviceWrite {
    enum class Stop { None, Error, Stalled, Gone };
    std::size_t written = 0;
    Stop stop = Stop::None;
    int error = 0;  // the system's error for Stop::Error
};

class OutputDevice {
public:
    // Paths under /dev are never created: a missing printer must not turn
    // into a regular file that swallows jobs. Elsewhere `createFile` creates
    // the file; a file gets every job appended, as a printer receives it. A terminal
    // line is switched to untranslated output (LF would become CR LF).
    OutputDevice(const std::string& path, bool createFile);
    ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    bool isOpen() const { return handle_ >= 0; }
    int openError() const { return openError_; }

    // Writes all bytes in order; stops when the device takes nothing for
    // `stallTimeout` (printer off or offline) or goes away.
    DeviceWrite Write(const char* bytes, std::size_t length, std::chrono::milliseconds stallTimeout);

    // Closes now, so that a deferred write error can be reported: 0 or the error.
    int Close();

private:
    int handle_ = -1;
    int openError_ = 0;
    // Windows: a port, and among ports a serial line, whose failures say
    // more than a file's.
    bool port_ = false;
    bool line_ = false;
};

// "COM10" for "com10:", and so for every COMn and LPTn as a user may write a
// port (any case, any number, a colon or not); "" for anything else. Such a
// name is never a file: to Windows only COM1-9 and LPT1-9 are devices by
// their bare names, so COM10 would become a file in the current folder.
inline std::string PortName(const std::string& text) {
    std::string name;
    for (char c : text) name += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (!name.empty() && name.back() == ':') name.pop_back();
    if (name.size() < 4 || (name.compare(0, 3, "COM") != 0 && name.compare(0, 3, "LPT") != 0)) return "";
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return "";
    }
    return name;
}

// The system's text for an error number.
std::string ErrorText(int error);

// The group whose members may write `path`, or "" when there is none worth
// naming (root's group, or not group-writable).
std::string AccessGroup(const std::string& path);

// "20 s", for the messages about a stalled device.
std::string SecondsText(std::chrono::milliseconds duration);

}  // namespace kelvane
