#include "settings_file.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "file_name.hpp"
#include "profile.hpp"

namespace quarveld {
namespace {

constexpr const char* Section = "QUARVELD";
constexpr const char* Keys[4] = {"PORT0", "PORT1", "PORT2", "PORT3"};

int32_t* Words(PortSettings& s, int i) {
    int32_t* words[4] = {&s.BaudRate, &s.BitLength, &s.Parity, &s.Port};
    return words[i];
}

bool InRange(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

}  // namespace

void LoadPortSettings(PortSettings& settings, const std::string& path) { LoadPortSettings(settings, ProfileFile(path)); }

void LoadPortSettings(PortSettings& settings, const ProfileFile& file) {
    settings = PortSettings{0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        // The stored text is read as the 16-character buffer would hold it.
        std::string text = file.Get(Section, Keys[i], "0000").substr(0, 15);
        unsigned int value = 0;
        if (std::sscanf(text.c_str(), "%4x", &value) == 1) *Words(settings, i) = static_cast<int32_t>(value);
    }
    if (!InRange(settings.BaudRate, ID_19200, ID_2400) || !InRange(settings.BitLength, ID_8BIT, ID_7BIT) ||
        !InRange(settings.Parity, ID_NONE, ID_EVEN) || !InRange(settings.Port, ID_COM1, ID_LPT1)) {
        settings = PortSettings{};
    }
}

std::string SettingsFileProblem(const std::string& path) { return SettingsFileProblem(ProfileFile(path)); }

std::string SettingsFileProblem(const ProfileFile& file) {
    if (file.problem().empty()) return "";
    return "The port settings could not be read from " + file.path() + ": " + file.problem() +
           ". The default settings are used.";
}

bool SavePortSettings(const PortSettings& settings, const std::string& path, std::string* why) {
    std::error_code ec;
    std::filesystem::path folder = FilePath(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    PortSettings copy = settings;
    // One replacement: a save cut short leaves the old four or the new four.
    ProfileEntries entries;
    for (int i = 0; i < 4; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%04x", static_cast<unsigned int>(*Words(copy, i)));
        entries.emplace_back(Keys[i], text);
    }
    if (WriteProfileStrings(path, Section, entries, why)) return true;
    // The folder that could not be made says more than the write that followed.
    if (ec && why) *why = ec.message();
    return false;
}

DeviceMap LoadDeviceMap(const std::string& path) { return LoadDeviceMap(ProfileFile(path)); }

DeviceMap MachineDevices(const std::string& path) { return MachineDevices(ProfileFile(path)); }

DeviceMap LoadDeviceMap(const ProfileFile& file) {
    DeviceMap devices;
    devices.COM1 = file.Get("Devices", "COM1", devices.COM1);
    devices.COM2 = file.Get("Devices", "COM2", devices.COM2);
    devices.LPT1 = file.Get("Devices", "LPT1", devices.LPT1);
    DeviceMap defaults;
    if (devices.COM1.empty()) devices.COM1 = defaults.COM1;
    if (devices.COM2.empty()) devices.COM2 = defaults.COM2;
    if (devices.LPT1.empty()) devices.LPT1 = defaults.LPT1;
    for (int number = 3; number <= LastComNumber; ++number) {
        std::string device = file.Get("Devices", "COM" + std::to_string(number), "");
        if (!device.empty()) devices.more[number] = std::move(device);
    }
    return devices;
}

}  // namespace quarveld
