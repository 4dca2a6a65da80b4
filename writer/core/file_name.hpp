#pragma once
// File names inside the writer are UTF-8 on every system, so that a folder or
// an image named in any script opens (machine_posix.cpp, machine_win32.cpp).
#include <cstdio>
#include <filesystem>
#include <string>

namespace quarveld {

// The path a UTF-8 name stands for. A path made from a plain std::string is
// read in the system's narrow encoding, which on Windows is not UTF-8.
inline std::filesystem::path FilePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The UTF-8 name of a path.
inline std::string Utf8Name(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// std::fopen for a UTF-8 name.
std::FILE* OpenFile(const std::string& utf8, const char* mode);

}  // namespace quarveld
