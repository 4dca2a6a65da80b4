#pragma once
// What each platform's port file (port_posix.cpp, port_win32.cpp) gives OpenWritePort.
#include <memory>
#include <string>

#include "port.hpp"

namespace quarveld {

// Opens the device without sharing and sets the line, the time-outs, DTR/RTS
// and discards pending data. Only a failed open yields nullptr; set-up
// failures after it leave the port as the device has it.
std::unique_ptr<WritePort> OpenSerialDevice(const std::string& path, const LineParameters& line);

// Opens the device for writing without sharing; only the time-outs apply.
std::unique_ptr<WritePort> OpenParallelDevice(const std::string& path);

}  // namespace quarveld
