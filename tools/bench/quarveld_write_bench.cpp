// quarveld-write against a printer paced at 19200 baud: 2,000 frames, the
// whole program timed from start to exit, next to the line-rate bound (10
// bits per byte of every frame and every answer). Prints its figures;
// asserts nothing.
//   quarveld_write_bench [FRAMES [DATA_BYTES_PER_FRAME]]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulated_printer.hpp"

namespace {

// S3 records of `perLine` data bytes from address 0, then S7. Returns the
// bytes the frames take on the line (9 + N each).
std::size_t WriteImage(const std::string& path, std::size_t frames, std::size_t perLine) {
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

}  // namespace

int main(int argc, char** argv) {
    const std::size_t frames = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
    const std::size_t perLine = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
    char folder[] = "/tmp/quarveld-write-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string image = std::string(folder) + "/bench.mot";
    const std::size_t frameBytes = WriteImage(image, frames, perLine);

    quarveld::sim::Behaviour paced;
    paced.byteDelayMicros = quarveld::sim::ByteDelayForBaud(19200);
    paced.keepTraffic = false;
    quarveld::sim::SimulatedPrinter printer(paced);

    const std::string command = std::string(QUARVELD_WRITE) + " --baud 19200 --port '" + printer.devicePath() +
                                "' '" + image + "' >/dev/null";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::remove(image.c_str());
    rmdir(folder);

    const double bound = static_cast<double>(frameBytes + frames) * 10.0 / 19200.0;
    std::printf("quarveld-write at 19200 baud: %zu frames of %zu data bytes, exit status %d\n", frames, perLine,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    std::printf("  run %.3f s, line-rate bound %.3f s, ratio %.4f (target at most 1.01)\n", seconds, bound,
                seconds / bound);
    std::printf("  frames the printer took: %zu\n", printer.framesReceived());
    return 0;
}
