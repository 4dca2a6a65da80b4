#pragma once
// The memory-switch commands: ESC GS "#" sequences that end in LF NUL.
// A command is a string whose characters are the bytes for the printer,
// the final NUL included (size() counts it).
#include <cstdint>
#include <string>

namespace kelvane {

constexpr int SwitchCount = 16;

// "Memory Switch 0" .. "Memory Switch F"; the list position is the switch number.
std::string SwitchName(int switchNumber);

// Upper-case hex without leading zeros; the position is read as a signed
// 16-bit value, so -1 (no entry selected) gives "FFFF".
std::string NumberText(int16_t listPosition);

// ESC GS "#" "," number value LF NUL; neither text is checked.
std::string SetSwitchCommand(const std::string& numberText, const std::string& valueText);
std::string ClearAllCommand();
std::string ClosingCommand();

}  // namespace kelvane
