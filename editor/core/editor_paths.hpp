#pragma once
// Where the editor keeps its own files, and what "LPT1" is on this system.
#include <cstddef>
#include <string>

namespace kelvane {

// These files are a few lines long; a larger one is no settings file and is
// never read whole.
inline constexpr std::size_t LargestSettingsFile = std::size_t{1} << 20;

// How the lines of these files end when they are written: as the system's
// own editors expect ("\r\n" on Windows). Files read take either.
const char* SettingsLineEnd();

// The folder of VexloComm.ini (the printer link's choices per name) and
// Kelvane2.ini (the device map, edited by hand), ending in the platform's
// separator; "" when none can be found.
// Linux: $XDG_CONFIG_HOME/kelvane/, else ~/.config/kelvane/.
std::string ConfigFolder();

// ConfigFolder() + "Kelvane2.ini".
std::string EditorSettingsPath();

// Reads one of these files whole into `text`: "" when done (a missing file
// reads as empty), else why it could not be read, in words for the user
// ("it is a folder, not a file", a link that leads nowhere, a file over
// LargestSettingsFile). Only a regular file is read; a pipe or a device is
// never waited on.
std::string ReadSettingsFile(const std::string& path, std::string& text);

// A port ("LPT1", "COM10") as this machine opens it.
struct PortDevice {
    std::string path;     // what is opened; "" when this machine has no device for the port
    std::string setting;  // the file that maps it, "" when nothing can
    std::string problem;  // why that file could not be read, "" when it could
};
// "LPT1" as "Load Switches" opens it.
using ParallelPort = PortDevice;

// Reads the map once; the file is never written. `port` as PortName gives
// it. Windows: the system's own port. Linux: the [Devices] section of
// `settingsFile` (COM10=/dev/ttyUSB0), taken as written, else /dev/ttyS0,
// /dev/ttyS1 and /dev/lp0 for COM1, COM2 and LPT1, and nothing for others.
PortDevice ReadPortDevice(const std::string& port, const std::string& settingsFile);

inline ParallelPort ReadParallelPort(const std::string& settingsFile) { return ReadPortDevice("LPT1", settingsFile); }

}  // namespace kelvane
