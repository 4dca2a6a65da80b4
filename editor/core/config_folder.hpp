#pragma once
// Where the editor keeps its own files: VexloComm.ini (the printer link's
// choices per name) and Kelvane2.ini (the device map, edited by hand).
#include <string>

namespace kelvane {

// The folder, ending in the platform's separator; "" when none can be found.
// Linux: $XDG_CONFIG_HOME/kelvane/, else ~/.config/kelvane/.
std::string ConfigFolder();

// The path "LPT1" is opened as; `configured` is what the settings file maps
// it to ("" when it maps nothing).
std::string ParallelPortPath(const std::string& configured);

}  // namespace kelvane
