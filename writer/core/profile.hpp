#pragma once
// TORWIN.INI through the profile functions. Each platform's file implements
// GetProfileString and WriteProfileStrings: profile_posix.cpp with the text
// edits of profile_text.hpp on a file that it replaces as a whole,
// profile_win32.cpp with the system's profile functions.
#include <string>
#include <utility>
#include <vector>

namespace quarveld {

using ProfileEntries = std::vector<std::pair<std::string, std::string>>;  // key, value

// The value of `key` in `section`, or `defaultValue` when the file, the
// section or the key is missing.
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultValue);

// Why the file cannot be read, in words for the user ("it is a folder, not a
// file"); "" when it can, or when it is missing. GetProfileString then gives
// the defaults.
std::string ProfileReadProblem(const std::string& path);

// Sets every key of `entries` in `section`, creating the file, the section or
// a key when missing. All of them reach the file in one replacement, or none
// does. False when a name or a value cannot be stored, when an existing file
// cannot be read or is write-protected, or when the new file cannot be
// written; then `why` (when given) holds the reason.
bool WriteProfileStrings(const std::string& path, const std::string& section, const ProfileEntries& entries,
                         std::string* why = nullptr);

inline bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                               const std::string& value) {
    return WriteProfileStrings(path, section, {{key, value}});
}

}  // namespace quarveld
