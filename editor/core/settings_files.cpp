#include "settings_files.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <vector>

#include "device_output.hpp"

namespace kelvane {

namespace {

constexpr int32_t FileOutputMode = 4;
constexpr int32_t PrinterOutputMode = 0;

void SwitchFileOutputOff(PrinterLink& link) {
    link.setOutputToFile(false);
    link.setOutputMode(PrinterOutputMode);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

void SaveSessionToFile(PrinterLink& link, SessionState& session, const std::string& path) {
    std::vector<int> written;
    try {
        link.setOutputToFile(true);
        link.setOutputMode(FileOutputMode);
        link.setOutputFileName(path);
        link.StartJob();
        for (int n = 0; n < SwitchCount; ++n) {
            if (session.SessionValues[n].empty()) continue;
            link.AddCommand(SetSwitchCommand(NumberText(static_cast<int16_t>(n)), session.SessionValues[n]));
            written.push_back(n);
        }
        link.AddCommand(ClosingCommand());
        link.EndJob();
    } catch (...) {
        // Later jobs must reach the printer again, not the file.
        try {
            SwitchFileOutputOff(link);
        } catch (...) {
            // The first failure is the one to report.
        }
        throw;
    }
    SwitchFileOutputOff(link);
    for (int n : written) session.SessionValues[n].clear();
}

void ReplayFile(const std::string& filePath, const std::string& devicePath,
                std::chrono::milliseconds stallTimeout) {
    ReplayFile(filePath, ParallelPort{devicePath, "", ""}, stallTimeout);
}

std::string ReadSettingsFile(const std::string& filePath) {
    std::ifstream file(filePath, std::ios::binary);
    if (!file) {
        throw FileError("Cannot open the settings file " + Quoted(filePath) + ": " + ErrorText(errno));
    }
    std::string bytes;
    std::vector<char> buffer(64 * 1024);
    while (file) {
        file.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (file.bad()) {
            throw FileError("Cannot read the settings file " + Quoted(filePath) + ": " + ErrorText(errno));
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(file.gcount()));
    }
    return bytes;
}

void ReplayFile(const std::string& filePath, const ParallelPort& port, std::chrono::milliseconds stallTimeout) {
    WriteToParallelPort(ReadSettingsFile(filePath), port, stallTimeout);
}

void WriteToParallelPort(const std::string& bytes, const ParallelPort& port, std::chrono::milliseconds stallTimeout) {
    const std::string& devicePath = port.path;
    OutputDevice device(devicePath, false);
    if (!device.isOpen()) {
        const int error = device.openError();
        std::string message =
            "Cannot open the parallel port " + Quoted(devicePath) + " for writing: " + ErrorText(error);
        const std::string group = (error == EACCES || error == EPERM) ? AccessGroup(devicePath) : "";
        if (!group.empty())
            throw FileError(message + ". Members of the group \"" + group + "\" may write it", LinkRemedy::JoinGroup,
                            group);
        if (!port.setting.empty() && (error == ENOENT || error == ENXIO || error == ENODEV)) {
            message += ". \"LPT1\" is " + devicePath + ": give the printer's device as LPT1= in the [Devices] section of " +
                       port.setting + " (a USB printer is usually /dev/usb/lp0)";
            throw FileError(message, LinkRemedy::MapParallelPort, port.setting);
        }
        throw FileError(message);
    }
    const DeviceWrite written = device.Write(bytes.data(), bytes.size(), stallTimeout);
    const auto writeFailure = [&](const std::string& reason) {
        return FileError("Cannot write to the parallel port " + Quoted(devicePath) + ": only " +
                         std::to_string(written.written) + " of " + std::to_string(bytes.size()) +
                         " bytes went out: " + reason);
    };
    switch (written.stop) {
        case DeviceWrite::Stop::None: break;
        case DeviceWrite::Stop::Error: throw writeFailure(ErrorText(written.error));
        case DeviceWrite::Stop::Gone: throw writeFailure("the device went away");
        case DeviceWrite::Stop::Stalled:
            throw writeFailure("it took nothing more for " + SecondsText(stallTimeout) +
                               ". Is the printer switched on, online and loaded with paper?");
    }
    if (const int error = device.Close()) throw writeFailure(ErrorText(error));
}

}  // namespace kelvane
