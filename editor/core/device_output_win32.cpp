// Device and file output on Windows: CreateFileA and WriteFile. Errors are
// kept as errno values, which the callers' messages already tell apart.
#include "device_output.hpp"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kelvane {
namespace {

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY: return EBUSY;
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT: return ENODEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

HANDLE Handle(int value) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value)); }

// "LPT1", "com2", "PRN" or a name under \\.\: the system's devices, never created as files.
bool IsDeviceName(const std::string& path) {
    if (path.rfind("\\\\.\\", 0) == 0) return true;
    std::string upper;
    for (char c : path) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "PRN") return true;
    return upper.size() == 4 && (upper.rfind("LPT", 0) == 0 || upper.rfind("COM", 0) == 0) && upper[3] >= '1' &&
           upper[3] <= '9';
}

}  // namespace

OutputDevice::OutputDevice(const std::string& path, bool createFile) {
    // A device name (LPT1, COM1, \\.\...) is never created as a file; other
    // paths get every job appended, as a printer receives them.
    const DWORD disposition = createFile && !IsDeviceName(path) ? OPEN_ALWAYS : OPEN_EXISTING;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        openError_ = ErrnoOf(GetLastError());
        return;
    }
    if (GetFileType(h) == FILE_TYPE_DISK) SetFilePointer(h, 0, nullptr, FILE_END);
    if (GetFileType(h) == FILE_TYPE_CHAR) {
        // A port's write returns after a second even when the printer takes
        // nothing, so that the stall time can be kept.
        COMMTIMEOUTS timeouts{};
        timeouts.WriteTotalTimeoutConstant = 1000;
        SetCommTimeouts(h, &timeouts);
    }
    handle_ = static_cast<int>(reinterpret_cast<intptr_t>(h));
}

OutputDevice::~OutputDevice() { Close(); }

DeviceWrite OutputDevice::Write(const char* bytes, std::size_t length, std::chrono::milliseconds stallTimeout) {
    DeviceWrite result;
    // GetTickCount, not GetTickCount64 (Vista): XP runs the program too. The
    // difference of two counts is right across a wrap.
    DWORD lastProgress = GetTickCount();
    while (result.written < length) {
        DWORD chunk = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(length - result.written, 65536));
        if (!WriteFile(Handle(handle_), bytes + result.written, ask, &chunk, nullptr)) {
            const DWORD error = GetLastError();
            result.stop = error == ERROR_DEV_NOT_EXIST || error == ERROR_BAD_COMMAND ? DeviceWrite::Stop::Gone
                                                                                     : DeviceWrite::Stop::Error;
            result.error = ErrnoOf(error);
            return result;
        }
        result.written += chunk;
        const DWORD now = GetTickCount();
        if (chunk > 0) {
            lastProgress = now;
        } else if (DWORD(now - lastProgress) >= static_cast<DWORD>(stallTimeout.count())) {
            // A port that takes nothing (printer off or offline) must not hold the window forever.
            result.stop = DeviceWrite::Stop::Stalled;
            return result;
        } else {
            Sleep(50);
        }
    }
    return result;
}

int OutputDevice::Close() {
    if (handle_ < 0) return 0;
    const BOOL closed = CloseHandle(Handle(handle_));
    handle_ = -1;
    return closed ? 0 : ErrnoOf(GetLastError());
}

std::string ErrorText(int error) { return std::strerror(error); }

// Windows grants device access by user, not by a group worth naming.
std::string AccessGroup(const std::string&) { return ""; }

std::string SecondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count() / 1000.0);
    return text;
}

}  // namespace kelvane
