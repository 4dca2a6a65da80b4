#pragma once
// The text of an INI ("profile") file as the profile functions read and edit
// it: a line ends at CR LF, LF or a lone CR; section and key names match in
// any case, blanks around them ignored; a value comes back trimmed and
// without the quotes that enclose it; an edit touches only the line of its
// key (or adds the section or the key) and keeps every other byte. A
// byte-order mark starts the file; one at the start of a line (a second mark
// from an editor) is a blank there.
#include <string>

#include "profile.hpp"

namespace quarveld {

// Every value of the file, found as the profile functions find them: the
// first section of a name, its first key of a name.
ProfileValues IndexProfile(const std::string& contents);
// The key under which IndexProfile keeps `key` of `section`.
std::string ProfileValueKey(const std::string& section, const std::string& key);

// The contents with `key` in `section` set to `value`.
std::string SetProfileValue(const std::string& contents, const std::string& section,
                            const std::string& key, const std::string& value);
// The same for several keys of one section, in their order.
std::string SetProfileValues(const std::string& contents, const std::string& section,
                             const ProfileEntries& entries);

// False for names and values that the file cannot hold as given: line
// breaks, a ']' in the section, a key that is empty, holds '=' or would read
// as a comment or a section.
bool StorableProfileEntry(const std::string& section, const std::string& key, const std::string& value);

}  // namespace quarveld
