#pragma once
// File names inside the editor are UTF-8 on every system, so that a folder or
// a file named in any script opens.
#include <filesystem>
#include <string>

namespace kelvane {

// The path a UTF-8 name stands for. A path made from a plain std::string is
// read in the system's narrow encoding, which on Windows is not UTF-8.
inline std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace kelvane
