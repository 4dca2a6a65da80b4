// Port choice and line parameters; the device work is in the platform's file.
#include "port.hpp"

#include <cctype>

#include "port_platform.hpp"

namespace quarveld {

namespace {

// 1 to 256 for "COMn", 0 for "LPT1", -1 for anything else; any case, no
// leading zeros.
int PortNumber(const std::string& written) {
    std::string upper;
    for (char c : written) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "LPT1") return 0;
    if (upper.size() < 4 || upper.size() > 6 || upper.compare(0, 3, "COM") != 0 || upper[3] == '0') return -1;
    int number = 0;
    for (std::size_t i = 3; i < upper.size(); ++i) {
        if (upper[i] < '0' || upper[i] > '9') return -1;
        number = number * 10 + (upper[i] - '0');
    }
    return number <= LastComNumber ? number : -1;
}

// The device is left out where it says no more than the name.
std::string LabelOf(const std::string& written, const std::string& name, const std::string& device) {
    if (device == written || device == name || device == "\\\\.\\" + name) return written;
    return written + " (" + device + ")";
}

std::string NameOf(const PortSettings& settings) {
    return settings.Port == ID_LPT1 ? "LPT1" : settings.Port == ID_COM2 ? "COM2" : "COM1";
}

}  // namespace

bool IsPortName(const std::string& written) { return PortNumber(written) >= 0; }

bool NamePort(const std::string& written, bool parallelPath, const DeviceMap& devices, NamedPort& port,
              std::string& why) {
    port = NamedPort{written, written, parallelPath, written};
    const int number = PortNumber(written);
    if (number < 0) return true;
    const std::string name = number == 0 ? "LPT1" : "COM" + std::to_string(number);
    port.parallel = number == 0;
    if (number == 0) {
        port.device = devices.LPT1;
    } else if (number == 1) {
        port.device = devices.COM1;
    } else if (number == 2) {
        port.device = devices.COM2;
    } else {
        const auto mapped = devices.more.find(number);
        port.device = mapped != devices.more.end() ? mapped->second : UnmappedComDevice(number);
    }
    if (port.device.empty()) {
        why = written + " is mapped to no device on this machine";
        return false;
    }
    port.label = LabelOf(written, name, port.device);
    return true;
}

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
    return PortFor(settings, devices).label;
}

NamedPort PortFor(const PortSettings& settings, const DeviceMap& devices) {
    NamedPort port;
    int parallel = 0;
    port.device = DevicePathFor(settings, devices, parallel);
    port.parallel = parallel != 0;
    port.written = NameOf(settings);
    port.label = LabelOf(port.written, port.written, port.device);
    return port;
}

std::unique_ptr<WritePort> OpenWritePort(const PortSettings& settings, const DeviceMap& devices,
                                         int& parallelPort, std::string* why) {
    const NamedPort port = PortFor(settings, devices);
    parallelPort = port.parallel ? 1 : 0;
    return OpenNamedPort(port, settings, why);
}

std::unique_ptr<WritePort> OpenNamedPort(const NamedPort& port, const PortSettings& settings, std::string* why) {
    std::string reason;
    std::unique_ptr<WritePort> opened = port.parallel
                                            ? OpenParallelDevice(port.device, reason)
                                            : OpenSerialDevice(port.device, LineParametersFor(settings), reason);
    if (!opened && why) *why = port.label + " cannot be opened: " + reason;
    return opened;
}

void ClosePort(std::unique_ptr<WritePort>& portHandle) { portHandle.reset(); }

}  // namespace quarveld
