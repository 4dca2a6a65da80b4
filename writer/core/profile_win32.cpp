// TORWIN.INI through the system's profile functions; a bare file name lands
// where the system keeps such files (the Windows folder, or its per-user copy).
#include <windows.h>
// windows.h names its own GetProfileString; ours is the one declared in profile.hpp.
#undef GetProfileString

#include <string>
#include <vector>

#include "profile.hpp"

namespace quarveld {

std::string GetProfileString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
    std::vector<char> buffer(4096);
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.c_str());
    return std::string(buffer.data(), n);
}

std::string ProfileReadProblem(const std::string& path) {
    // A bare name is the file in the Windows folder, where the profile functions look.
    std::string full = path;
    char folder[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
    if (path.find_first_of("\\/:") == std::string::npos && length > 0 && length < MAX_PATH)
        full = std::string(folder) + "\\" + path;
    const DWORD attributes = GetFileAttributesA(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "it is a folder, not a file";
    return "";
}

ProfileFile::ProfileFile(const std::string& path) : path_(path), problem_(ProfileReadProblem(path)) {}

// The system keeps the file it read; each key is asked of it.
std::string ProfileFile::Get(const std::string& section, const std::string& key,
                             const std::string& defaultValue) const {
    return problem_.empty() ? GetProfileString(path_, section, key, defaultValue) : defaultValue;
}

bool WriteProfileStrings(const std::string& path, const std::string& section, const ProfileEntries& entries,
                         std::string* why) {
    // The profile functions write key by key; each call is the system's own.
    for (const auto& [key, value] : entries) {
        if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str())) {
            if (why) {
                const DWORD error = GetLastError();
                char text[512] = {};
                if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                    text, sizeof text, nullptr))
                    snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(error));
                *why = text;
                while (!why->empty() && (why->back() == '\n' || why->back() == '\r')) why->pop_back();
            }
            return false;
        }
    }
    // Flush the system's cache of the file.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    return true;
}

}  // namespace quarveld
