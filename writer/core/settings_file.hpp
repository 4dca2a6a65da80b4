#pragma once
// TORWIN.INI: the four port settings and the map of port names to devices.
// A start reads the file once, into a ProfileFile, and takes all of them
// from it; the forms that take a path read it for themselves.
#include <string>

#include "port.hpp"
#include "profile.hpp"

namespace quarveld {

// TORWIN.INI: on Linux in $XDG_CONFIG_HOME, else in ~/.config; on Windows a
// bare name, which the profile functions keep in the Windows folder.
std::string SettingsFilePath();

// PORT0 to PORT3 of [QUARVELD]; when any one is missing, unreadable or out of
// range, all four take their defaults.
void LoadPortSettings(PortSettings& settings, const std::string& path = SettingsFilePath());
void LoadPortSettings(PortSettings& settings, const ProfileFile& file);

// What to tell the user when the file is there but cannot be read (a folder
// or a pipe in its place): which file and why. "" when it can be read or is
// missing. The loads above then give the defaults.
std::string SettingsFileProblem(const std::string& path = SettingsFilePath());
std::string SettingsFileProblem(const ProfileFile& file);

// Writes all four keys in one replacement of the file, creating the folder,
// the file and the section as needed. False when they could not be written;
// then `why` (when given) holds the system's reason.
bool SavePortSettings(const PortSettings& settings, const std::string& path = SettingsFilePath(),
                      std::string* why = nullptr);

// COM1, COM2 and LPT1 of [Devices]; a missing or empty key keeps the default.
// COM3 to COM256 are there only when named. The program only ever reads this
// section.
DeviceMap LoadDeviceMap(const std::string& path = SettingsFilePath());
DeviceMap LoadDeviceMap(const ProfileFile& file);

// The ports of this machine: on Linux the [Devices] map of the file; on
// Windows the system's own COM1, COM2 and LPT1 (no map).
DeviceMap MachineDevices(const ProfileFile& file);
DeviceMap MachineDevices(const std::string& path = SettingsFilePath());

}  // namespace quarveld
