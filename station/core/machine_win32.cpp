// Windows: the serial ports are what the system lists under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM; the settings and records live in the
// user's roaming application data.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "machine.hpp"
#include "utf16_win32.hpp"

namespace station {

namespace {

std::string AppDataFolder() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ".";
    return quarveld::Narrow(std::wstring(buffer, length)) + "\\QUARVELD";
}

int ComNumber(const std::string& name) {
    return name.size() > 3 && _strnicmp(name.c_str(), "COM", 3) == 0 ? std::atoi(name.c_str() + 3) : 0;
}

}  // namespace

std::vector<FoundPort> FindSerialPorts(const std::string&) {
    std::vector<FoundPort> found;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], data[256];
        DWORD nameLength = 256, dataBytes = sizeof data, type = 0;
        const LONG result = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string port = quarveld::Narrow(std::wstring(data, wcsnlen(data, dataBytes / sizeof(wchar_t))));
        // The value's name is the driver's device, \Device\Serial0 say.
        found.push_back({port, port + " (" + quarveld::Narrow(std::wstring(name, nameLength)) + ")"});
    }
    RegCloseKey(key);
    std::sort(found.begin(), found.end(),
              [](const FoundPort& a, const FoundPort& b) { return ComNumber(a.device) < ComNumber(b.device); });
    return found;
}

std::string StationSettingsPath() { return AppDataFolder() + "\\station.ini"; }

std::string StationDataFolder() { return AppDataFolder(); }

}  // namespace station
