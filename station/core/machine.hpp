#pragma once
// What the station finds on the machine: its serial ports and the user's
// folders. Each platform's file implements it (machine_posix.cpp,
// machine_win32.cpp).
#include <string>
#include <vector>

namespace station {

struct FoundPort {
    std::string device;  // what is opened, and what the station remembers
    std::string name;    // as a list shows it
};

// The serial ports of this machine, in a stable order. `root` is put in
// front of the system's folders (a test's own tree); "" is the machine.
std::vector<FoundPort> FindSerialPorts(const std::string& root = "");

// The user's file of the station's own settings.
std::string StationSettingsPath();

// The user's folder for the station's records.
std::string StationDataFolder();

}  // namespace station
