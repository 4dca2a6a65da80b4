#include "commands.hpp"

#include <cstdio>

namespace kelvane {

namespace {

const std::string kPrefix = "\x1B\x1D#";
const std::string kEnd("\n\0", 2);  // LF NUL; the NUL is part of the command

// A command of the set-switch shape with another operation character.
std::string Command(char operation, const std::string& numberText, const std::string& valueText) {
    return kPrefix + operation + numberText + valueText + kEnd;
}

}  // namespace

std::string SwitchName(int switchNumber) {
    return "Memory Switch " + NumberText(static_cast<int16_t>(switchNumber));
}

std::string NumberText(int16_t listPosition) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(static_cast<uint16_t>(listPosition)));
    return text;
}

std::string SetSwitchCommand(const std::string& numberText, const std::string& valueText) {
    return Command(',', numberText, valueText);
}

std::string ClearAllCommand() { return Command('@', "0", "0000"); }

std::string ClosingCommand() { return Command('T', "0", "0000"); }

}  // namespace kelvane
