#include "editor_paths.hpp"

#include <windows.h>

namespace kelvane {

std::string ConfigFolder() {
    // %APPDATA%\Kelvane\: the user's own settings, roaming with the user.
    char appData[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return std::string(appData) + "\\Kelvane\\";
}

std::string EditorSettingsPath() { return ConfigFolder() + "Kelvane2.ini"; }

ParallelPort ReadParallelPort(const std::string&) {
    // The system's own name: no map on Windows.
    return {"LPT1", ""};
}

}  // namespace kelvane
