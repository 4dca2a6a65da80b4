// Port choice and line parameters; the device work is in the platform's file.
#include "port.hpp"
#include "port_platform.hpp"

namespace quarveld {

const std::string& DevicePathFor(const PortSettings& settings, const DeviceMap& devices,
                                 int& parallelPort) {
    parallelPort = settings.Port == ID_LPT1 ? 1 : 0;
    if (settings.Port == ID_LPT1) return devices.LPT1;
    if (settings.Port == ID_COM2) return devices.COM2;
    return devices.COM1;  // any value the dialog cannot produce opens COM1
}

LineParameters LineParametersFor(const PortSettings& settings) {
    LineParameters line;
    switch (settings.BaudRate) {
        case ID_19200: line.baudRate = 19200; break;
        case ID_4800: line.baudRate = 4800; break;
        case ID_2400: line.baudRate = 2400; break;
        default: line.baudRate = 9600; break;
    }
    line.dataBits = settings.BitLength == ID_7BIT ? 7 : 8;
    if (settings.Parity == ID_ODD) {
        line.parity = ParityMode::Odd;
    } else if (settings.Parity == ID_EVEN) {
        line.parity = ParityMode::Even;
    } else {
        line.parity = ParityMode::None;
    }
    return line;
}

std::string PortLabel(const PortSettings& settings, const DeviceMap& devices) {
    int parallel = 0;
    const std::string& path = DevicePathFor(settings, devices, parallel);
    const std::string name = settings.Port == ID_LPT1 ? "LPT1" : settings.Port == ID_COM2 ? "COM2" : "COM1";
    return path == name ? name : name + " (" + path + ")";
}

std::unique_ptr<WritePort> OpenWritePort(const PortSettings& settings, const DeviceMap& devices,
                                         int& parallelPort, std::string* why) {
    const std::string& path = DevicePathFor(settings, devices, parallelPort);
    std::string reason;
    std::unique_ptr<WritePort> port = parallelPort ? OpenParallelDevice(path, reason)
                                                   : OpenSerialDevice(path, LineParametersFor(settings), reason);
    if (!port && why) *why = PortLabel(settings, devices) + " cannot be opened: " + reason;
    return port;
}

void ClosePort(std::unique_ptr<WritePort>& portHandle) { portHandle.reset(); }

}  // namespace quarveld
