// Delivery to a device or file path, the same on every platform: the
// platform's device output does the opening and writing.
#include "device_output.hpp"
#include "editor_paths.hpp"
#include "vexlo_delivery.hpp"

namespace kelvane::vexlo {
namespace {

LinkError UnmappedPort(const std::string& port, const PortDevice& map) {
    std::string reason = port + " is mapped to no device on this machine; add " + port + "=DEVICE (for example " +
                         port + "=/dev/ttyUSB0) to the [Devices] section of " + map.setting +
                         ", or give the device itself, such as /dev/ttyUSB0, in its place.";
    if (!map.problem.empty()) reason += " " + map.problem;
    return LinkError(reason);
}

}  // namespace

void WriteToDevice(const std::string& path, const std::string& bytes,
                   std::chrono::milliseconds stallTimeout) {
    if (path.empty()) throw LinkError(LinkRemedy::GivePath, "No device or file path is given");
    // A port's name is never a file's: it is the port the system or the
    // user's device map gives it, or nothing.
    std::string device = path, label = path;
    if (const std::string port = PortName(path); !port.empty()) {
        const PortDevice mapped = ReadPortDevice(port, EditorSettingsPath());
        if (mapped.path.empty()) throw UnmappedPort(port, mapped);
        device = mapped.path;
        label = device == port ? port : port + " (" + device + ")";
    }
    OutputDevice output(device, true);
    if (!output.isOpen()) throw OpenFailure(device, output.openError(), label);

    const DeviceWrite written = output.Write(bytes.data(), bytes.size(), stallTimeout);
    auto shortWrite = [&](const std::string& why) {
        return LinkError("Only " + std::to_string(written.written) + " of " + std::to_string(bytes.size()) +
                         " bytes reached " + label + ": " + why);
    };
    switch (written.stop) {
        case DeviceWrite::Stop::None: break;
        case DeviceWrite::Stop::Error: throw shortWrite(ErrorText(written.error) + ".");
        case DeviceWrite::Stop::Gone: throw shortWrite("the device went away.");
        case DeviceWrite::Stop::Stalled:
            throw shortWrite("the device took nothing more for " + SecondsText(stallTimeout) +
                             ". Is the printer switched on, online and loaded with paper?");
    }
    if (const int error = output.Close()) {
        throw LinkError("Cannot finish writing to " + label + ": " + ErrorText(error) + ".");
    }
}

}  // namespace kelvane::vexlo
