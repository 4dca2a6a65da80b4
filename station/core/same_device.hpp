#pragma once
// Whether two names a user gave stand for one device or file: the same
// path, or a link and what it points at (/dev/serial/by-id/... and
// /dev/ttyUSB0).
#include <string>

namespace station {

bool SameDevice(const std::string& a, const std::string& b);

}  // namespace station
