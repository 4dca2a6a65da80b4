#include "editor_paths.hpp"

#include <windows.h>

#include <string>

#include "utf16_win32.hpp"

namespace kelvane {

std::string ConfigFolder() {
    // %APPDATA%\Kelvane\: the user's own settings, roaming with the user. The
    // user's name is part of it, in any script: the wide value, as UTF-8.
    wchar_t appData[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return Narrow(std::wstring(appData, length)) + "\\Kelvane\\";
}

std::string EditorSettingsPath() { return ConfigFolder() + "Kelvane2.ini"; }

// Notepad before Windows 10 shows a file with bare LF ends as one line.
const char* SettingsLineEnd() { return "\r\n"; }

std::string ReadSettingsFile(const std::string& path, std::string& text) {
    text.clear();
    const std::wstring name = Widen(path);
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "";
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return "it is a folder, not a file";
        return error == ERROR_ACCESS_DENIED ? "access is denied" : "error " + std::to_string(error);
    }
    std::string why;
    if (GetFileType(file) != FILE_TYPE_DISK) why = "it is a device, not a file";
    char buffer[4096];
    DWORD n = 0;
    while (why.empty()) {
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) why = "error " + std::to_string(GetLastError());
        else if (n == 0) break;
        else if (text.size() + n > LargestSettingsFile) why = "it is over 1 MB long, too large for a settings file";
        else text.append(buffer, n);
    }
    CloseHandle(file);
    if (!why.empty()) text.clear();
    return why;
}

PortDevice ReadPortDevice(const std::string& port, const std::string&) {
    // The system's own name: no map on Windows.
    return {port, "", ""};
}

}  // namespace kelvane
