// Linux: serial ports are the stable names under /dev/serial/by-id, the USB
// adapters' ttyUSB and ttyACM, and the ttyS lines a UART stands behind.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>

#include "machine.hpp"

namespace station {

namespace fs = std::filesystem;

namespace {

// "ttyUSB10" after "ttyUSB9".
bool NaturalLess(const std::string& a, const std::string& b) {
    const auto digits = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
        return i;
    };
    const std::size_t da = digits(a), db = digits(b);
    const std::string pa = a.substr(0, da), pb = b.substr(0, db);
    if (pa != pb) return pa < pb;
    if (a.size() - da != b.size() - db) return a.size() - da < b.size() - db;
    return a < b;
}

std::vector<std::string> Names(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (prefix.empty() || (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
                               std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                                           [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

// The kernel names every ttyS it could have; only those with a UART behind
// them have a type other than 0.
bool RealLine(const std::string& root, const std::string& name) {
    std::ifstream type(root + "/sys/class/tty/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

std::string UserFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    // Relative values are to be ignored, like an unset variable.
    if (value != nullptr && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && home[0] != '\0' ? home : ".") + fallback;
}

}  // namespace

std::vector<FoundPort> FindSerialPorts(const std::string& root) {
    std::vector<FoundPort> found;
    std::set<std::string> seen;  // devices behind the names found so far
    const fs::path byId = root + "/dev/serial/by-id";
    for (const std::string& name : Names(byId, "")) {
        std::error_code error;
        const fs::path target = fs::canonical(byId / name, error);
        if (error) continue;  // a stale link: the adapter is gone
        seen.insert(target.string());
        found.push_back({(byId / name).string(), name + " (" + target.filename().string() + ")"});
    }
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        for (const std::string& name : Names(root + "/dev", prefix)) {
            const std::string device = root + "/dev/" + name;
            std::error_code error;
            const fs::path target = fs::canonical(device, error);
            if (seen.count(error ? device : target.string()) != 0) continue;
            if (std::string(prefix) == "ttyS" && !RealLine(root, name)) continue;
            found.push_back({device, name});
        }
    }
    return found;
}

std::string StationSettingsPath() { return UserFolder("XDG_CONFIG_HOME", "/.config") + "/quarveld/station.ini"; }

std::string StationDataFolder() { return UserFolder("XDG_DATA_HOME", "/.local/share") + "/quarveld"; }

}  // namespace station
