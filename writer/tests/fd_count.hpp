#pragma once
// Open descriptors of this process, to show that a run leaves none behind.
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>

inline std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;  // includes the iterator's own descriptor, the same in every count
}

// Descriptor number -> what it refers to.
inline std::map<int, std::string> OpenDescriptors() {
    std::map<int, std::string> open;
    const std::string listing = "/proc/" + std::to_string(::getpid()) + "/fd";  // the walk's own
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target != listing) open[std::stoi(entry.path().filename().string())] = target.string();
    }
    return open;
}

// Descriptors open now that were not open, as the same thing, before.
inline std::map<int, std::string> NewDescriptors(const std::map<int, std::string>& before) {
    std::map<int, std::string> added;
    for (const auto& [fd, target] : OpenDescriptors()) {
        auto it = before.find(fd);
        if (it == before.end() || it->second != target) added[fd] = target;
    }
    return added;
}
