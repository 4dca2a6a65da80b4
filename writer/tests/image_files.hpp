#pragma once
// Helpers shared by the reader, frame and dry-run tests: scratch folders,
// image files, outside programs.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace quarveld::test {

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir() {
        std::random_device seed;
        for (int tries = 0; tries < 100 && path_.empty(); ++tries) {
            const auto candidate = std::filesystem::temp_directory_path() / ("quarveld-" + std::to_string(seed()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) path_ = candidate.string();
        }
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// CRC-16/ARC by table, a second way of computing what the frames carry.
inline uint16_t TableCrc(const uint8_t* bytes, std::size_t length) {
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned r = i;
            for (int k = 0; k < 8; ++k) r = (r & 1) ? (r >> 1) ^ 0xA001 : r >> 1;
            t[i] = static_cast<uint16_t>(r);
        }
        return t;
    }();
    uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

// `frames` records of four data bytes each (frame k carries k four times), then S9.
inline std::string LongImage(int frames) {
    std::string text;
    char line[32];
    for (unsigned f = 0; f < unsigned(frames); ++f) {
        const unsigned address = 0x1000 + 4 * f, sum = 7 + (address >> 8) + (address & 0xFF) + 4 * f;
        std::snprintf(line, sizeof line, "S107%04X%02X%02X%02X%02X%02X\n", address, f & 0xFF, f & 0xFF, f & 0xFF,
                      f & 0xFF, ~sum & 0xFF);
        text += line;
    }
    return text + "S9030000FC\n";
}

// Data bytes by address, as a flash loader would store them.
using Memory = std::map<uint32_t, uint8_t>;

// The memory as a flat run from its lowest address (gaps 0xFF).
inline std::string Flatten(const Memory& memory) {
    if (memory.empty()) return {};
    const uint32_t base = memory.begin()->first;
    std::string flat(memory.rbegin()->first - base + 1, '\xFF');
    for (const auto& [address, byte] : memory) flat[address - base] = static_cast<char>(byte);
    return flat;
}

}  // namespace quarveld::test
