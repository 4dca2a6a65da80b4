#pragma once
// What each platform's port file (port_posix.cpp, port_win32.cpp) gives OpenWritePort.
#include <memory>
#include <string>

#include "port.hpp"

namespace quarveld {

// Opens the device without sharing and sets the line, the time-outs, DTR/RTS
// and discards pending data. Only a failed open yields nullptr; set-up
// failures after it leave the port as the device has it.
// On a failed open `why` gets the system's reason in a few words, with what
// gives access where the platform knows it (on Linux: the device's group).
std::unique_ptr<WritePort> OpenSerialDevice(const std::string& path, const LineParameters& line,
                                            std::string& why);

// Opens the device for writing without sharing; only the time-outs apply.
// `why` as above.
std::unique_ptr<WritePort> OpenParallelDevice(const std::string& path, std::string& why);

// The device of COMn (3 and up) when no map names one; "" when there is none.
std::string UnmappedComDevice(int number);

}  // namespace quarveld
