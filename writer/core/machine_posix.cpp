// Where Linux keeps TORWIN.INI and finds the ports: the file's [Devices]
// map, with /dev/ttyS0, /dev/ttyS1 and /dev/lp0 for COM1, COM2 and LPT1.
#include <cstdlib>

#include "file_name.hpp"
#include "port_platform.hpp"
#include "settings_file.hpp"

namespace quarveld {

std::string SettingsFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // Relative values are to be ignored, like an unset variable.
    if (config != nullptr && config[0] == '/') return std::string(config) + "/TORWIN.INI";
    const char* home = std::getenv("HOME");
    std::string base = home != nullptr && home[0] != '\0' ? home : ".";
    return base + "/.config/TORWIN.INI";
}

DeviceMap MachineDevices(const ProfileFile& file) { return LoadDeviceMap(file); }

// A USB adapter's name says nothing of a COM number: the user maps it.
std::string UnmappedComDevice(int) { return ""; }

std::FILE* OpenFile(const std::string& utf8, const char* mode) { return std::fopen(utf8.c_str(), mode); }

}  // namespace quarveld
