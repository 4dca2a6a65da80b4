#include "profile.hpp"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

namespace quarveld {
namespace {

// One line of the file: its text and its own line end ("\r\n", "\n" or none).
struct Line {
    std::string text;
    std::string end;
};

std::vector<Line> SplitLines(const std::string& contents) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t lf = contents.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back({contents.substr(start), ""});
            break;
        }
        std::size_t textEnd = (lf > start && contents[lf - 1] == '\r') ? lf - 1 : lf;
        lines.push_back({contents.substr(start, textEnd - start), contents.substr(textEnd, lf + 1 - textEnd)});
        start = lf + 1;
    }
    return lines;
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
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
    std::string t = Trim(text);
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key = value" gives key; comments (';') and lines without '=' give nothing.
std::optional<std::string> KeyName(const std::string& text) {
    std::string t = Trim(text);
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

enum class ReadResult { Read, Missing, Failed };

ReadResult ReadFile(const std::string& path, std::string& contents) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return ec ? ReadResult::Failed : ReadResult::Missing;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadResult::Failed;
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) return ReadResult::Failed;
    return ReadResult::Read;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultValue) {
    std::string contents;
    if (ReadFile(path, contents) != ReadResult::Read) return defaultValue;
    std::vector<Line> lines = SplitLines(contents);
    auto header = FindSection(lines, section);
    if (!header) return defaultValue;
    for (std::size_t i = *header + 1; i < lines.size(); ++i) {
        if (SectionName(lines[i].text)) break;
        auto name = KeyName(lines[i].text);
        if (name && SameName(*name, key)) {
            const std::string& t = lines[i].text;
            return Trim(t.substr(t.find('=') + 1));
        }
    }
    return defaultValue;
}

std::string SetProfileValue(const std::string& contents, const std::string& section,
                            const std::string& key, const std::string& value) {
    std::vector<Line> lines = SplitLines(contents);
    // New lines follow the file's own line ends, so a CRLF file stays CRLF.
    std::string eol = "\n";
    for (const Line& line : lines) {
        if (!line.end.empty()) {
            eol = line.end;
            break;
        }
    }
    const std::string entry = key + "=" + value;

    auto join = [&lines] {
        std::string out;
        for (const Line& line : lines) out += line.text + line.end;
        return out;
    };

    auto header = FindSection(lines, section);
    if (!header) {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = eol;
        lines.push_back({"[" + section + "]", eol});
        lines.push_back({entry, eol});
        return join();
    }

    std::size_t lastContent = *header;  // the new key goes behind the section's last non-blank line
    for (std::size_t i = *header + 1; i < lines.size(); ++i) {
        if (SectionName(lines[i].text)) break;
        auto name = KeyName(lines[i].text);
        if (name && SameName(*name, key)) {
            lines[i].text = entry;
            return join();
        }
        if (!Trim(lines[i].text).empty()) lastContent = i;
    }
    if (lines[lastContent].end.empty()) lines[lastContent].end = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastContent) + 1, Line{entry, eol});
    return join();
}

bool WriteProfileString(const std::string& path, const std::string& section,
                        const std::string& key, const std::string& value) {
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return false;
    std::string name = Trim(key);
    if (name.empty() || name.front() == ';' || name.front() == '[') return false;
    std::string contents;
    // A file that exists but cannot be read is left alone rather than replaced
    // by one holding only this key.
    if (ReadFile(path, contents) == ReadResult::Failed) return false;
    return ReplaceFileContents(path, SetProfileValue(contents, section, key, value));
}

}  // namespace quarveld
