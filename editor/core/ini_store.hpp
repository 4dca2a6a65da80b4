#pragma once
// The editor's own small INI files (VexloComm.ini, Kelvane2.ini), in the form
// the earlier Qt builds wrote them: section and key names escaped with "%XX"
// ("/" as "\"), values quoted and backslash-escaped where needed. Lines this
// store does not touch are written back as they were.
#include <optional>
#include <string>
#include <vector>

namespace kelvane {

class IniStore {
public:
    // An empty store for a missing file; false when the file exists but
    // cannot be read.
    bool Read(const std::string& path);
    void Parse(const std::string& text);
    std::string Text() const;

    // Names are given unescaped; "" never names a section here.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    // For files edited by hand: names match in any case.
    std::optional<std::string> ValueAnyCase(const std::string& section, const std::string& key) const;
    void SetValue(const std::string& section, const std::string& key, const std::string& value);

    static std::string EscapeName(const std::string& name);
    static std::string UnescapeName(const std::string& raw);
    static std::string EscapeValue(const std::string& value);
    static std::string UnescapeValue(const std::string& raw);

private:
    struct Line {
        std::string text;     // as read or as written
        std::string section;  // unescaped name of the section it belongs to
        std::string key;      // unescaped key, empty for other lines
        bool header = false;
    };
    std::vector<Line> lines_;
};

}  // namespace kelvane
