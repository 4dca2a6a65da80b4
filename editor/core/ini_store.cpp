#include "ini_store.hpp"

#include <cctype>
#include <cstring>

#include "editor_paths.hpp"

namespace kelvane {
namespace {

const char Hex[] = "0123456789ABCDEF";
const char ByteOrderMark[] = "\xEF\xBB\xBF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// A line as names are read from it. A byte-order mark at the start of a line
// (a second one, from an editor that added its own) is a blank there.
std::string TrimLine(const std::string& s) {
    std::string t = Trim(s);
    while (t.rfind(ByteOrderMark, 0) == 0) t = Trim(t.substr(std::strlen(ByteOrderMark)));
    return t;
}

}  // namespace

std::string IniStore::EscapeName(const std::string& name) {
    // A plain [General] holds the keys outside any group.
    if (name == "General") return "%General";
    std::string out;
    for (unsigned char c : name) {
        if (c == '/') {
            out += '\\';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                   c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 15];
        }
    }
    return out;
}

std::string IniStore::UnescapeName(const std::string& raw) {
    if (raw == "%General") return "General";
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\\') {
            out += '/';
        } else if (c == '%' && i + 5 < raw.size() && raw[i + 1] == 'U' &&
                   HexValue(raw[i + 2]) >= 0 && HexValue(raw[i + 3]) >= 0 && HexValue(raw[i + 4]) >= 0 &&
                   HexValue(raw[i + 5]) >= 0) {
            unsigned long cp = 0;
            for (size_t k = 2; k < 6; ++k) cp = cp * 16 + static_cast<unsigned long>(HexValue(raw[i + k]));
            AppendUtf8(out, cp);
            i += 5;
        } else if (c == '%' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 && HexValue(raw[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string IniStore::EscapeValue(const std::string& value) {
    std::string out;
    bool quotes = value.find_first_of(";,=") != std::string::npos ||
                  (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
    // A leading "@" marks a typed value in these files.
    if (!value.empty() && value[0] == '@') out += '@';
    bool hexFollows = false;
    for (unsigned char c : value) {
        if (hexFollows && HexValue(static_cast<char>(c)) >= 0) {
            out += "\\x";
            out += Hex[c >> 4];
            out += Hex[c & 15];
            continue;
        }
        hexFollows = false;
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += Hex[c >> 4];
                out += Hex[c & 15];
                hexFollows = true;  // "\x1" followed by "A" would read as one escape
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return quotes ? "\"" + out + "\"" : out;
}

std::string IniStore::UnescapeValue(const std::string& raw) {
    const std::string text = Trim(raw);
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char e = text[++i];
        switch (e) {
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'v': out += '\v'; break;
        case 'x': {
            unsigned long cp = 0;
            while (i + 1 < text.size() && HexValue(text[i + 1]) >= 0) cp = cp * 16 + HexValue(text[++i]);
            AppendUtf8(out, cp);
            break;
        }
        case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
            unsigned long v = static_cast<unsigned long>(e - '0');
            while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7') v = v * 8 + (text[++i] - '0');
            AppendUtf8(out, v);
            break;
        }
        default: out += e; break;  // \\ \" \' \? \; \,
        }
    }
    // The doubled "@" of a plain text, quoted or not.
    if (out.rfind("@@", 0) == 0) out.erase(0, 1);
    return out;
}

bool IniStore::Read(const std::string& path, std::string* why) {
    lines_.clear();
    byteOrderMark_ = false;
    std::string text;
    const std::string problem = ReadSettingsFile(path, text);
    if (!problem.empty()) {
        if (why) *why = problem;
        return false;
    }
    Parse(text);
    return true;
}

void IniStore::Parse(const std::string& text) {
    lines_.clear();
    std::string section;
    // Editors on Windows start a UTF-8 file with a byte-order mark.
    byteOrderMark_ = text.rfind(ByteOrderMark, 0) == 0;
    size_t start = byteOrderMark_ ? std::strlen(ByteOrderMark) : 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        Line line;
        line.text = text.substr(start, end - start);
        start = end;
        if (start < text.size() && text[start] == '\r') ++start;
        if (start < text.size() && text[start] == '\n') ++start;

        const std::string trimmed = TrimLine(line.text);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            std::string raw = Trim(trimmed.substr(1, trimmed.size() - 2));
            section = UnescapeName(raw);
            line.header = true;
        } else if (!trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#') {
            const size_t eq = trimmed.find('=');
            if (eq != std::string::npos) line.key = UnescapeName(Trim(trimmed.substr(0, eq)));
        }
        line.section = section;
        lines_.push_back(std::move(line));
    }
}

std::string IniStore::Text() const {
    std::string out = byteOrderMark_ ? ByteOrderMark : "";
    for (const Line& line : lines_) out += line.text + SettingsLineEnd();
    return out;
}

std::optional<std::string> IniStore::Value(const std::string& section, const std::string& key) const {
    for (const Line& line : lines_) {
        if (line.header || line.key.empty() || line.section != section || line.key != key) continue;
        const std::string trimmed = TrimLine(line.text);
        return UnescapeValue(trimmed.substr(trimmed.find('=') + 1));
    }
    return std::nullopt;
}

std::optional<std::string> IniStore::PlainValue(const std::string& section, const std::string& key) const {
    const auto same = [](const std::string& a, const std::string& b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    };
    std::string current;  // the section as written
    for (const Line& line : lines_) {
        const std::string trimmed = TrimLine(line.text);
        if (line.header) {
            current = Trim(trimmed.substr(1, trimmed.size() - 2));
            continue;
        }
        if (line.key.empty() || !same(current, section)) continue;
        const size_t eq = trimmed.find('=');
        if (!same(Trim(trimmed.substr(0, eq)), key)) continue;
        std::string value = Trim(trimmed.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniStore::Keys() const {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const Line& line : lines_) {
        if (!line.header && !line.key.empty()) keys.emplace_back(line.section, line.key);
    }
    return keys;
}

bool IniStore::SetValue(const std::string& section, const std::string& key, const std::string& value) {
    if (section.empty() || key.empty()) return false;
    Line line;
    line.text = EscapeName(key) + "=" + EscapeValue(value);
    line.section = section;
    line.key = key;
    size_t lastOfSection = lines_.size();
    bool found = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].section != section) continue;
        if (lines_[i].header) found = true;
        if (!found) continue;
        if (!lines_[i].header && lines_[i].key == key) {
            lines_[i] = line;
            return true;
        }
        if (!Trim(lines_[i].text).empty()) lastOfSection = i;
    }
    if (!found) {
        if (!lines_.empty() && !Trim(lines_.back().text).empty()) {
            Line blank;
            blank.section = lines_.back().section;
            lines_.push_back(blank);
        }
        Line header;
        header.text = "[" + EscapeName(section) + "]";
        header.section = section;
        header.header = true;
        lines_.push_back(header);
        lines_.push_back(line);
        return true;
    }
    lines_.insert(lines_.begin() + static_cast<long>(lastOfSection) + 1, line);
    return true;
}

}  // namespace kelvane
