#include "same_device.hpp"

#include <filesystem>
#include <system_error>

namespace station {

bool SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return true;
    // Links resolved; names of things that are not there are only the same
    // when spelt so. (equivalent() refuses devices.)
    std::error_code errorA, errorB;
    const std::filesystem::path realA = std::filesystem::canonical(a, errorA);
    const std::filesystem::path realB = std::filesystem::canonical(b, errorB);
    return !errorA && !errorB && realA == realB;
}

}  // namespace station
