#include "settings_decode.hpp"

#include <cstdio>

#include "commands.hpp"

namespace kelvane {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The command that starts at `at`, or an Unknown entry of length 0.
DecodedCommand CommandAt(const std::string& bytes, std::size_t at) {
    DecodedCommand found;
    found.offset = at;
    for (const auto& [kind, fixed] : {std::pair{DecodedCommand::Kind::ClearAll, ClearAllCommand()},
                                      std::pair{DecodedCommand::Kind::Closing, ClosingCommand()}}) {
        if (bytes.compare(at, fixed.size(), fixed) == 0) {
            found.kind = kind;
            found.bytes = fixed;
            return found;
        }
    }
    // A set command: one upper-case switch digit, up to four value digits,
    // LF NUL. Built again by the editor's own builder and compared whole.
    const std::string prefix = SetSwitchCommand("", "").substr(0, 4);
    if (bytes.compare(at, prefix.size(), prefix) != 0) return found;
    const std::size_t digitsAt = at + prefix.size();
    std::size_t end = digitsAt;
    while (end < bytes.size() && end - digitsAt < 5 && HexDigit(bytes[end]) >= 0) ++end;
    if (end == digitsAt) return found;
    const char number = bytes[digitsAt];
    if (HexDigit(number) < 0 || (number >= 'a' && number <= 'f')) return found;
    const std::string value = bytes.substr(digitsAt + 1, end - digitsAt - 1);
    const std::string command = SetSwitchCommand(std::string(1, number), value);
    if (bytes.compare(at, command.size(), command) != 0) return found;
    found.kind = DecodedCommand::Kind::SetSwitch;
    found.bytes = command;
    found.switchNumber = HexDigit(number);
    found.valueText = value;
    return found;
}

}  // namespace

std::vector<DecodedCommand> DecodeSettings(const std::string& bytes) {
    std::vector<DecodedCommand> commands;
    std::size_t at = 0;
    while (at < bytes.size()) {
        DecodedCommand command = CommandAt(bytes, at);
        if (command.kind != DecodedCommand::Kind::Unknown) {
            at += command.bytes.size();
            commands.push_back(std::move(command));
            continue;
        }
        if (commands.empty() || commands.back().kind != DecodedCommand::Kind::Unknown) {
            command.bytes.clear();
            commands.push_back(std::move(command));
        }
        commands.back().bytes += bytes[at];
        ++at;
    }
    return commands;
}

std::string DescribeCommand(const DecodedCommand& command) {
    static const char digits[] = "0123456789ABCDEF";
    switch (command.kind) {
    case DecodedCommand::Kind::ClearAll:
        return "Clear all memory switches";
    case DecodedCommand::Kind::Closing:
        return "Closing command";
    case DecodedCommand::Kind::SetSwitch: {
        std::string line = SwitchName(command.switchNumber) + " = ";
        if (command.valueText.empty()) return line + "(no value digits)";
        unsigned value = 0;
        for (char c : command.valueText) value = value * 16 + static_cast<unsigned>(HexDigit(c));
        std::string bits;
        int set = 0;
        for (int bit = 0; bit < 16; ++bit) {
            if (!(value >> bit & 1)) continue;
            bits += (set++ ? ", " : "");
            bits += digits[bit];
        }
        line += command.valueText;
        if (set == 0) return line + " (no bits)";
        return line + (set == 1 ? " (bit " : " (bits ") + bits + ")";
    }
    case DecodedCommand::Kind::Unknown:
        break;
    }
    char head[64];
    std::snprintf(head, sizeof head, "offset %zu: %zu byte%s that %s no command:", command.offset,
                  command.bytes.size(), command.bytes.size() == 1 ? "" : "s",
                  command.bytes.size() == 1 ? "is" : "are");
    std::string line = head;
    // Enough to recognise them; the offset finds the rest.
    constexpr std::size_t Shown = 16;
    for (std::size_t i = 0; i < command.bytes.size() && i < Shown; ++i) {
        const auto c = static_cast<unsigned char>(command.bytes[i]);
        line += ' ';
        line += digits[c >> 4];
        line += digits[c & 15];
    }
    if (command.bytes.size() > Shown) line += " ...";
    return line;
}

}  // namespace kelvane
