#pragma once
// Reading a customer settings file back: which commands it holds, in order,
// and which bytes are no command of this editor.
#include <cstddef>
#include <string>
#include <vector>

namespace kelvane {

struct DecodedCommand {
    enum class Kind { SetSwitch, ClearAll, Closing, Unknown };
    Kind kind = Kind::Unknown;
    std::size_t offset = 0;  // of its first byte in the file
    std::string bytes;       // exactly as in the file
    int switchNumber = -1;   // SetSwitch: 0 to 15
    std::string valueText;   // SetSwitch: 0 to 4 hex digits, as written
};

// Splits `bytes` into commands. A run of bytes that starts no command is
// one Unknown entry, up to the next ESC that starts one.
std::vector<DecodedCommand> DecodeSettings(const std::string& bytes);

// One line for a command: "Memory Switch 3 = 0005 (bits 0, 2)".
std::string DescribeCommand(const DecodedCommand& command);

}  // namespace kelvane
