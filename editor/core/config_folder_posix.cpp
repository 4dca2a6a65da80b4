#include "config_folder.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

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

std::string ParallelPortPath(const std::string& configured) {
    return configured.empty() ? "/dev/lp0" : configured;
}

}  // namespace kelvane
