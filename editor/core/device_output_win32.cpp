// Device and file output on Windows: CreateFileW and WriteFile. Errors are
// kept as errno values, which the callers' messages already tell apart.
#include "device_output.hpp"

#include <windows.h>

#include "device_output_win32.hpp"
#include "utf16_win32.hpp"

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

// A port's name, "PRN" or a name under \\.\: the system's devices, never created as files.
bool IsDeviceName(const std::string& path) {
    if (path.rfind("\\\\.\\", 0) == 0 || !PortName(path).empty()) return true;
    std::string upper;
    for (char c : path) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == "PRN";
}

// What a port's driver answers once its device was pulled out (a USB
// adapter): every later call fails with one of these.
bool DeviceGone(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED: return true;
    default: return false;
    }
}

}  // namespace

DeviceCalls SystemDeviceCalls() {
    return {CreateFileW, GetFileType, GetCommState, SetCommTimeouts, WriteFile, ClearCommError, CloseHandle};
}

DeviceCalls& DeviceCallTable() {
    static DeviceCalls calls = SystemDeviceCalls();
    return calls;
}

OutputDevice::OutputDevice(const std::string& path, bool createFile) {
    // A device name (LPT1, COM10, \\.\...) is never created as a file; other
    // paths get every job appended, as a printer receives them. A port past
    // COM9 or LPT9 opens only through the device namespace.
    const std::string port = PortName(path);
    const std::string name = port.empty() ? path : port.size() == 4 && port[3] != '0' ? port : "\\\\.\\" + port;
    const DWORD disposition = createFile && !IsDeviceName(path) ? OPEN_ALWAYS : OPEN_EXISTING;
    const DeviceCalls& call = DeviceCallTable();
    HANDLE h = call.createFile(Widen(name).c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        openError_ = ErrnoOf(GetLastError());
        return;
    }
    const DWORD type = call.getFileType(h);
    if (type == FILE_TYPE_DISK) SetFilePointer(h, 0, nullptr, FILE_END);
    if (type == FILE_TYPE_CHAR) {
        port_ = true;
        DCB line{};
        line.DCBlength = sizeof line;
        line_ = call.getCommState(h, &line) != 0;
        // A port's write returns after a second even when the printer takes
        // nothing, so that the stall time can be kept.
        COMMTIMEOUTS timeouts{};
        timeouts.WriteTotalTimeoutConstant = 1000;
        call.setCommTimeouts(h, &timeouts);
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
        if (!DeviceCallTable().writeFile(Handle(handle_), bytes + result.written, ask, &chunk, nullptr)) {
            const DWORD error = GetLastError();
            // A serial line whose status cannot be read either is gone too.
            DWORD lineErrors = 0;
            COMSTAT state{};
            const bool gone = error == ERROR_DEV_NOT_EXIST || error == ERROR_BAD_COMMAND ||
                              (port_ && DeviceGone(error)) ||
                              (line_ && !DeviceCallTable().clearCommError(Handle(handle_), &lineErrors, &state));
            result.stop = gone ? DeviceWrite::Stop::Gone : DeviceWrite::Stop::Error;
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
    const BOOL closed = DeviceCallTable().closeHandle(Handle(handle_));
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
