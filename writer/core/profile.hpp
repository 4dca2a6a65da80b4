#pragma once
// TORWIN.INI through the profile functions. Each platform's file implements
// GetProfileString and WriteProfileStrings: profile_posix.cpp with the text
// edits of profile_text.hpp on a file that it replaces as a whole,
// profile_win32.cpp with the system's profile functions.
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quarveld {

using ProfileEntries = std::vector<std::pair<std::string, std::string>>;  // key, value
using ProfileValues = std::map<std::string, std::string>;

// Real settings files are a few lines long. A larger one is no settings file:
// it is neither read nor replaced, and its keys give their defaults.
inline constexpr std::size_t LargestProfile = std::size_t{1} << 20;

// The file read once, for a start that needs many of its keys: each key as
// GetProfileString gives it, without going back to the file.
class ProfileFile {
public:
    explicit ProfileFile(const std::string& path);
    const std::string& path() const { return path_; }
    std::string Get(const std::string& section, const std::string& key, const std::string& defaultValue) const;
    // As ProfileReadProblem: "" when the file was read or is missing.
    const std::string& problem() const { return problem_; }

private:
    std::string path_;
    std::string problem_;
    ProfileValues values_;  // where the file is read as text
};

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
