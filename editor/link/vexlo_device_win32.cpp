// Device and file delivery on Windows.
#include "vexlo_delivery.hpp"

#include "device_output.hpp"

#include <windows.h>

#include <cerrno>

// windows.h renames the function of the same name.
#undef ReplaceFile

namespace kelvane::vexlo {

std::vector<std::string> ListDevices() {
    // The ports the system knows by name, the parallel port first.
    std::vector<std::string> out;
    char target[1024];
    for (const char* name : {"LPT1", "LPT2", "COM1", "COM2", "COM3", "COM4"}) {
        if (QueryDosDeviceA(name, target, sizeof target)) out.emplace_back(name);
    }
    return out;
}

LinkError OpenFailure(const std::string& path, int err) {
    std::string msg = "Cannot open " + path + ": " + ErrorText(err) + ".";
    switch (err) {
    case EACCES: msg += " Choose a file in a folder you may write to, or ask the administrator."; break;
    case ENOENT: msg += " Check that the folder or the port exists."; break;
    case ENODEV: msg += " Is the printer connected and switched on?"; break;
    case EBUSY: msg += " Another program may be using it."; break;
    default: break;
    }
    return LinkError(msg);
}

void ReplaceFile(const std::string& path, const std::string& bytes) {
    if (path.empty()) throw LinkError("No output file name is given.");
    // A temporary file beside it, flushed, then moved over it: a failure
    // leaves the old file as it was.
    const std::string tmp = path + ".new";
    HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        std::string msg = "Cannot write the file " + path + ".";
        if (error == ERROR_PATH_NOT_FOUND) msg += " Check that the folder exists.";
        if (error == ERROR_ACCESS_DENIED) msg += " Choose a folder you may write to.";
        throw LinkError(msg);
    }
    DWORD done = 0;
    const bool written = bytes.empty() ||
                         (WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                          done == bytes.size());
    const bool flushed = written && FlushFileBuffers(h);
    CloseHandle(h);
    if (!flushed || !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(tmp.c_str());
        throw LinkError("Cannot write the file " + path + ". The old file was left as it was.");
    }
}

}  // namespace kelvane::vexlo
