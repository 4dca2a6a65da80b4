// Where Windows keeps TORWIN.INI and finds the ports: the Windows folder, and
// the system's own port names.
#include "file_name.hpp"
#include "port_platform.hpp"
#include "utf16_win32.hpp"
#include "settings_file.hpp"

namespace quarveld {

std::string SettingsFilePath() { return "TORWIN.INI"; }

DeviceMap MachineDevices(const ProfileFile&) { return DeviceMap{"COM1", "COM2", "LPT1"}; }

// COM10 and up open only through the device namespace.
std::string UnmappedComDevice(int number) {
    const std::string name = "COM" + std::to_string(number);
    return number < 10 ? name : "\\\\.\\" + name;
}

std::FILE* OpenFile(const std::string& utf8, const char* mode) {
    return _wfopen(Widen(utf8).c_str(), Widen(mode).c_str());
}

}  // namespace quarveld
