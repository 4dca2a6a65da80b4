// Windows: the serial ports are the lines the system's serial drivers list
// under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM (XP has it too), named as Device
// Manager names them where the Setup API knows the device; the settings and
// records live in the user's application data.
#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <map>

#include "machine.hpp"
#include "utf16_win32.hpp"

namespace station {
namespace {

// The "Ports (COM & LPT)" device class.
const GUID PortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// A registry string may lack its terminating NUL, or carry several.
std::wstring RegistryText(const wchar_t* data, DWORD bytes) {
    std::wstring text(data, bytes / sizeof(wchar_t));
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

std::vector<std::wstring> AnnouncedPorts() {
    std::vector<std::wstring> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data, type = 0;
        const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::wstring port = RegistryText(data, dataBytes);
        if (!port.empty()) ports.push_back(port);
    }
    RegCloseKey(key);
    return ports;
}

// Friendly names by port name ("COM7" -> "USB Serial Port (COM7)").
std::map<std::wstring, std::wstring> FriendlyNames() {
    std::map<std::wstring, std::wstring> names;
    HDEVINFO devices = SetupDiGetClassDevsW(&PortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t port[64];
        DWORD bytes = sizeof port, type = 0;
        const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                                            &bytes) == ERROR_SUCCESS && type == REG_SZ;
        RegCloseKey(key);
        if (!named) continue;
        wchar_t friendly[256];
        DWORD friendlyBytes = 0;
        if (SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, &type,
                                              reinterpret_cast<BYTE*>(friendly), sizeof friendly, &friendlyBytes))
            names[Upper(RegistryText(port, bytes))] = RegistryText(friendly, friendlyBytes);
    }
    SetupDiDestroyDeviceInfoList(devices);
    return names;
}

// COM2 before COM10; names that are no COMn after them, as they come.
int ComNumber(const std::wstring& port) {
    const std::wstring upper = Upper(port);
    if (upper.size() < 4 || upper.compare(0, 3, L"COM") != 0) return 1 << 30;
    int number = 0;
    for (std::size_t i = 3; i < upper.size(); ++i) {
        if (!std::iswdigit(upper[i])) return 1 << 30;
        number = number * 10 + (upper[i] - L'0');
        if (number > 1 << 20) return 1 << 30;
    }
    return number;
}

// A folder of the user's profile with "quarveld" in it; nothing is made
// until something is written there.
std::string UserFolder(int which) {
    wchar_t base[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, which, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) return ".";
    return quarveld::Narrow(std::wstring(base) + L"\\quarveld");
}

}  // namespace

std::vector<FoundPort> FindSerialPorts(const std::string&) {
    std::vector<std::wstring> announced = AnnouncedPorts();
    std::stable_sort(announced.begin(), announced.end(),
                     [](const std::wstring& a, const std::wstring& b) { return ComNumber(a) < ComNumber(b); });
    const std::map<std::wstring, std::wstring> friendly = FriendlyNames();
    std::vector<FoundPort> ports;
    std::vector<std::wstring> seen;
    for (const std::wstring& port : announced) {
        const std::wstring key = Upper(port);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        const auto found = friendly.find(key);
        ports.push_back({quarveld::Narrow(port), quarveld::Narrow(found != friendly.end() ? found->second : port)});
    }
    return ports;
}

// Settings roam with the user; the records stay on the bench's PC (XP calls
// that folder "Local Settings\Application Data").
std::string StationSettingsPath() { return UserFolder(CSIDL_APPDATA) + "\\station.ini"; }

std::string StationDataFolder() { return UserFolder(CSIDL_LOCAL_APPDATA); }

}  // namespace station
