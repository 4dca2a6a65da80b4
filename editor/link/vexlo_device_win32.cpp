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
    const DWORD attributes = GetFileAttributesA(path.c_str());
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
    HANDLE h = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (!flushed || !MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(tmp.c_str());
        throw LinkError("Cannot write the file " + path + ". The old file was left as it was.");
    }
}

}  // namespace kelvane::vexlo
