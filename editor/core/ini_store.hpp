#pragma once
// The editor's own small INI files (VexloComm.ini, Kelvane2.ini), in the form
// the earlier Qt builds wrote them: section and key names escaped with "%XX"
// ("/" as "\"), values quoted and backslash-escaped where needed. Lines this
// store does not touch are written back as they were, and so is a UTF-8
// byte-order mark at the start. Lines end as SettingsLineEnd() says.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvane {

class IniStore {
public:
    // An empty store for a missing file; false when the file exists but
    // cannot be read, or is no regular file: `why` then says why.
    bool Read(const std::string& path, std::string* why = nullptr);
    void Parse(const std::string& text);
    std::string Text() const;

    // Names are given unescaped; "" never names a section here.
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    // For files edited by hand: names match in any case as written, and the
    // value is taken as written (trimmed, without enclosing double quotes),
    // so that a path like C:\temp keeps its backslashes.
    std::optional<std::string> PlainValue(const std::string& section, const std::string& key) const;
    // False, and nothing changed, for an empty section or key name: neither
    // could be found again.
    bool SetValue(const std::string& section, const std::string& key, const std::string& value);
    // Every section and key that holds a value, in file order.
    std::vector<std::pair<std::string, std::string>> Keys() const;

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
    bool byteOrderMark_ = false;
};

}  // namespace kelvane
