#pragma once
// A firmware image of the benches' own size: made, not read from a sample.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quarveld::bench {

// S3 records of `perLine` data bytes from address 0, then S7. Returns the
// bytes the frames take on the line (9 + N each).
inline std::size_t WriteImage(const std::string& path, std::size_t frames, std::size_t perLine) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::size_t lineBytes = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const uint32_t address = static_cast<uint32_t>(f * perLine);
        unsigned sum = static_cast<unsigned>(perLine + 5);
        std::fprintf(out, "S3%02X%08X", static_cast<unsigned>(perLine + 5), address);
        for (int s = 0; s < 32; s += 8) sum += address >> s & 0xFF;
        for (std::size_t i = 0; i < perLine; ++i) {
            const unsigned byte = (f * 31 + i * 7) & 0xFF;
            sum += byte;
            std::fprintf(out, "%02X", byte);
        }
        std::fprintf(out, "%02X\n", ~sum & 0xFF);
        lineBytes += 9 + perLine;
    }
    std::fputs("S70500000000FA\n", out);
    std::fclose(out);
    return lineBytes;
}

}  // namespace quarveld::bench
