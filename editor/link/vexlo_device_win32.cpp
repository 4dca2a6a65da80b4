// Device and file delivery on Windows.
#include "vexlo_delivery.hpp"

#include "device_output.hpp"
#include "utf16_win32.hpp"

#include <windows.h>

#include <algorithm>
#include <cerrno>

// windows.h renames the function of the same name.
#undef ReplaceFile

namespace kelvane::vexlo {

std::vector<std::string> ListDevices() {
    // The ports the system knows by name, COM10 and up among them: the
    // parallel ones first, each kind by number.
    std::vector<wchar_t> names(1 << 16);
    DWORD length = 0;
    while ((length = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0 &&
           GetLastError() == ERROR_INSUFFICIENT_BUFFER && names.size() < (1u << 22))
        names.resize(names.size() * 4);
    std::vector<std::string> out;
    for (DWORD at = 0; at < length && names[at];) {
        const std::wstring name(names.data() + at);
        at += static_cast<DWORD>(name.size()) + 1;
        const std::string port = PortName(Narrow(name));
        if (!port.empty() && std::find(out.begin(), out.end(), port) == out.end()) out.push_back(port);
    }
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        if (a[0] != b[0]) return a[0] == 'L';
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return out;
}

LinkError OpenFailure(const std::string& path, int err, const std::string& label) {
    const bool port = !PortName(path).empty();
    std::string msg = "Cannot open " + label + ": " + ErrorText(err) + ".";
    switch (err) {
    case EACCES:
        if (port) return LinkError(msg + " Another program may be using the port.");
        msg += " Choose a file in a folder you may write to, or ask the administrator.";
        break;
    case ENOENT:
        if (port) {
            return LinkError(LinkRemedy::RefreshDevices,
                             "Cannot open " + label + ": this PC has no such port. Is the printer's cable or USB "
                             "adapter plugged in?");
        }
        msg += " Check that the folder exists.";
        break;
    case ENODEV: msg += " Is the printer connected and switched on?"; break;
    case EBUSY: msg += " Another program may be using it."; break;
    default: break;
    }
    return LinkError(msg);
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    if (path.empty()) throw LinkError("No output file name is given.");
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            throw LinkError("Cannot write the file " + path + ": a folder of that name is already there.");
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            throw LinkError("Cannot write the file " + path +
                            ": it is write-protected. The old file was left as it was.");
        }
    }
    // One fixed temporary name beside the file, flushed, then moved over it:
    // a failure leaves the old file as it was, and a save that was cut short
    // leaves only this file, which the next save takes over.
    const size_t name = path.find_last_of("\\/:") + 1;  // 0 when there is no folder
    const std::string tmp = path.substr(0, name) + "." + path.substr(name) + ".saving";
    const std::wstring wideTmp = Widen(tmp);
    HANDLE h = CreateFileW(wideTmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        std::string msg = "Cannot write the file " + path + ".";
        if (error == ERROR_PATH_NOT_FOUND) msg += " Check that the folder exists.";
        if (error == ERROR_ACCESS_DENIED) msg += " Choose a folder you may write to.";
        if (error == ERROR_SHARING_VIOLATION) msg += " Another save is under way; try again.";
        throw LinkError(msg);
    }
    DWORD done = 0;
    const bool written = bytes.empty() ||
                         (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                          done == bytes.size());
    const bool flushed = written && FlushFileBuffers(h);
    CloseHandle(h);
    if (!flushed ||
        !MoveFileExW(wideTmp.c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(wideTmp.c_str());
        throw LinkError("Cannot write the file " + path + ". The old file was left as it was.");
    }
}

}  // namespace kelvane::vexlo
