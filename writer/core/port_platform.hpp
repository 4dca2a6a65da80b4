#pragma once
// What each platform's port file (port_posix.cpp, port_win32.cpp) gives OpenWritePort.
#include <memory>
#include <string>

#include "port.hpp"

namespace quarveld {

// Opens the device without sharing and sets the line, the time-outs, DTR/RTS
// and discards pending data. A failed open yields nullptr, and so does a line
// that cannot be set up (a device that is no serial line, or refuses the
// settings): a run on it would only wait for answers that never come. Other
// set-up failures (DTR/RTS, the queues, the purge) leave the port as it is.
// On a failure `why` gets the system's reason in a few words, with what
// gives access where the platform knows it (on Linux: the device's group).
// How `why` begins when the line cannot be set up.
constexpr const char* LineSetUpFailed = "its line cannot be set up: ";

std::unique_ptr<WritePort> OpenSerialDevice(const std::string& path, const LineParameters& line,
                                            std::string& why);

// Opens the device for writing without sharing; only the time-outs apply.
// `why` as above.
std::unique_ptr<WritePort> OpenParallelDevice(const std::string& path, std::string& why);

// The device of COMn (3 and up) when no map names one; "" when there is none.
std::string UnmappedComDevice(int number);

}  // namespace quarveld
