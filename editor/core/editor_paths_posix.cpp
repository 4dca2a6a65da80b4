#include "editor_paths.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "ini_store.hpp"

namespace kelvane {

std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // A relative value is to be ignored, as the base directory rules say.
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kelvane/";
    const char* home = std::getenv("HOME");
    std::string base = home && home[0] ? home : "";
    if (base.empty()) {
        if (const passwd* pw = getpwuid(getuid())) base = pw->pw_dir ? pw->pw_dir : "";
    }
    if (base.empty()) return "";
    return base + "/.config/kelvane/";
}

std::string EditorSettingsPath() {
    return ConfigFolder() + "Kelvane2.ini";
}

ParallelPort ReadParallelPort(const std::string& settingsFile) {
    ParallelPort port{"/dev/lp0", settingsFile};
    IniStore store;
    // A file that cannot be read maps nothing; the message for the port names it.
    if (!store.Read(settingsFile)) return port;
    const std::string mapped = store.ValueAnyCase("Devices", "LPT1").value_or("");
    if (!mapped.empty()) port.path = mapped;
    return port;
}

}  // namespace kelvane
