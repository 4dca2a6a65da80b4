#include "profile_text.hpp"

#include <cctype>
#include <optional>
#include <set>
#include <vector>

namespace quarveld {
namespace {

// One line of the file: its text and its own line end ("\r\n", "\n", "\r" or none).
struct Line {
    std::string text;
    std::string end;
};

// Editors on Windows start a UTF-8 file with this mark; it belongs to no line.
const char ByteOrderMark[] = "\xEF\xBB\xBF";

bool HasByteOrderMark(const std::string& contents) { return contents.rfind(ByteOrderMark, 0) == 0; }

std::vector<Line> SplitLines(const std::string& contents) {
    std::vector<Line> lines;
    std::size_t start = HasByteOrderMark(contents) ? sizeof ByteOrderMark - 1 : 0;
    while (start < contents.size()) {
        std::size_t brk = contents.find_first_of("\r\n", start);
        if (brk == std::string::npos) {
            lines.push_back({contents.substr(start), ""});
            break;
        }
        std::size_t next = brk + 1;
        if (contents[brk] == '\r' && next < contents.size() && contents[next] == '\n') ++next;
        lines.push_back({contents.substr(start, brk - start), contents.substr(brk, next - brk)});
        start = next;
    }
    return lines;
}

std::string Join(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& line : lines) out += line.text + line.end;
    return out;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A line as names are read from it: blanks and marks in front left out.
std::string TrimLine(const std::string& text) {
    std::string t = Trim(text);
    while (t.rfind(ByteOrderMark, 0) == 0) t = Trim(t.substr(sizeof ByteOrderMark - 1));
    return t;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A value in matching double or single quotes comes back without them.
std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// "[name]" gives name; anything else gives nothing.
std::optional<std::string> SectionName(const std::string& text) {
    std::string t = TrimLine(text);
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key = value" gives key; comments (';') and lines without '=' give nothing.
std::optional<std::string> KeyName(const std::string& text) {
    std::string t = TrimLine(text);
    if (t.empty() || t.front() == ';') return std::nullopt;
    std::size_t eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(t.substr(0, eq));
}

// Index of the section's header line.
std::optional<std::size_t> FindSection(const std::vector<Line>& lines, const std::string& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i].text);
        if (name && SameName(*name, section)) return i;
    }
    return std::nullopt;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

void SetIn(std::vector<Line>& lines, const std::string& section, const std::string& key, const std::string& value) {
    // New lines follow the file's own line ends, so a CRLF file stays CRLF.
    std::string eol = "\n";
    for (const Line& line : lines) {
        if (!line.end.empty()) {
            eol = line.end;
            break;
        }
    }
    const std::string entry = key + "=" + value;

    auto header = FindSection(lines, section);
    if (!header) {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = eol;
        lines.push_back({"[" + section + "]", eol});
        lines.push_back({entry, eol});
        return;
    }

    std::size_t lastContent = *header;  // the new key goes behind the section's last non-blank line
    for (std::size_t i = *header + 1; i < lines.size(); ++i) {
        if (SectionName(lines[i].text)) break;
        auto name = KeyName(lines[i].text);
        if (name && SameName(*name, key)) {
            lines[i].text = entry;
            return;
        }
        if (!Trim(lines[i].text).empty()) lastContent = i;
    }
    if (lines[lastContent].end.empty()) lines[lastContent].end = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastContent) + 1, Line{entry, eol});
}

}  // namespace

std::string ProfileValueKey(const std::string& section, const std::string& key) {
    return Lower(Trim(section)) + '\n' + Lower(Trim(key));
}

ProfileValues IndexProfile(const std::string& contents) {
    ProfileValues values;
    std::set<std::string> sections;
    std::string current;
    bool counts = false;  // a later section of a name already seen is never searched
    for (const Line& line : SplitLines(contents)) {
        if (auto name = SectionName(line.text)) {
            current = Lower(*name);
            counts = sections.insert(current).second;
            continue;
        }
        if (!counts) continue;
        if (auto key = KeyName(line.text)) {
            const std::string& t = line.text;
            values.emplace(current + '\n' + Lower(*key), Unquote(Trim(t.substr(t.find('=') + 1))));
        }
    }
    return values;
}

std::string SetProfileValues(const std::string& contents, const std::string& section,
                             const ProfileEntries& entries) {
    std::vector<Line> lines = SplitLines(contents);
    // Names are stored as they are found: without blanks around them.
    for (const auto& [key, value] : entries) SetIn(lines, Trim(section), Trim(key), value);
    return (HasByteOrderMark(contents) ? ByteOrderMark : "") + Join(lines);
}

std::string SetProfileValue(const std::string& contents, const std::string& section, const std::string& key,
                            const std::string& value) {
    return SetProfileValues(contents, section, {{key, value}});
}

bool StorableProfileEntry(const std::string& section, const std::string& key, const std::string& value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return false;
    const std::string name = Trim(key);
    return !name.empty() && name.front() != ';' && name.front() != '[';
}

}  // namespace quarveld
