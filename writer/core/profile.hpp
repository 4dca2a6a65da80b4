#pragma once
// A small INI ("profile") file layer: section and key names match in any case,
// values come back trimmed, and a write touches only the line of its key (or
// adds the section or the key), leaving every other byte of the file as it was.
#include <string>

namespace quarveld {

// The value of `key` in `section`, or `defaultValue` when the file, the
// section or the key is missing.
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultValue);

// Sets `key` in `section` to `value`, creating the file, the section or the
// key when missing. The file is replaced as a whole or not at all. False when
// the names or the value cannot be stored (line breaks, a ']' in the section),
// when an existing file cannot be read, or when the new file cannot be written.
bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value);

// The pure text edit behind WriteProfileString, on the file's contents.
std::string SetProfileValue(const std::string& contents, const std::string& section,
                            const std::string& key, const std::string& value);

// Replaces the file's contents through a temporary file in the same folder,
// flushed to disk and renamed over the old one (platform file).
bool ReplaceFileContents(const std::string& path, const std::string& contents);

}  // namespace quarveld
