// Delivery to a device or file path, the same on every platform: the
// platform's device output does the opening and writing.
#include "device_output.hpp"
#include "vexlo_delivery.hpp"

namespace kelvane::vexlo {

void WriteToDevice(const std::string& path, const std::string& bytes,
                   std::chrono::milliseconds stallTimeout) {
    if (path.empty()) throw LinkError(LinkRemedy::GivePath, "No device or file path is given");
    OutputDevice device(path, true);
    if (!device.isOpen()) throw OpenFailure(path, device.openError());

    const DeviceWrite written = device.Write(bytes.data(), bytes.size(), stallTimeout);
    auto shortWrite = [&](const std::string& why) {
        return LinkError("Only " + std::to_string(written.written) + " of " + std::to_string(bytes.size()) +
                         " bytes reached " + path + ": " + why);
    };
    switch (written.stop) {
        case DeviceWrite::Stop::None: break;
        case DeviceWrite::Stop::Error: throw shortWrite(ErrorText(written.error) + ".");
        case DeviceWrite::Stop::Gone: throw shortWrite("the device went away.");
        case DeviceWrite::Stop::Stalled:
            throw shortWrite("the device took nothing more for " + SecondsText(stallTimeout) +
                             ". Is the printer switched on, online and loaded with paper?");
    }
    if (const int error = device.Close()) {
        throw LinkError("Cannot finish writing to " + path + ": " + ErrorText(error) + ".");
    }
}

}  // namespace kelvane::vexlo
