#pragma once
// The serial ports this machine has, as the station lists them.
#include <string>
#include <vector>

namespace station {

struct SerialPort {
    std::string device;  // what the port layer opens: "COM7", "/dev/ttyUSB0"
    std::string name;    // what a person reads: "USB Serial Port (COM7)"
};

// Asks the system again on every call: adapters come and go.
std::vector<SerialPort> FindSerialPorts();

}  // namespace station
