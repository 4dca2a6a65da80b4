// Figures for the write run: per-frame cost against a printer that answers at
// once, time against a printer paced at 19200 baud, and peak memory of runs
// over large images; then what TORWIN.INI costs a start, by its size. Prints
// its figures; asserts nothing.
//
//   quarveld_bench                  all four
//   quarveld_bench --settings       only the cost of TORWIN.INI at start
//   quarveld_bench --run IMAGE DEV  one run with LPT1 mapped to DEV (used for
//                                   the memory figures, in a fresh process)
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "settings_file.hpp"
#include "simulated_printer.hpp"
#include "transfer.hpp"

namespace {

using namespace quarveld;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes an image of S3 records, `perLine` data bytes each, and a final S7.
// Returns the number of records (frames).
std::size_t WriteImage(const std::string& path, std::size_t dataBytes, std::size_t perLine) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        std::exit(1);
    }
    static const char hex[] = "0123456789ABCDEF";
    std::vector<char> line(2 * (perLine + 6) + 4);
    uint32_t seed = 2024;
    std::size_t records = 0;
    for (std::size_t at = 0; at < dataBytes; at += perLine) {
        const std::size_t n = std::min(perLine, dataBytes - at);
        uint8_t body[4 + 1 + 255];
        std::size_t len = 0;
        body[len++] = static_cast<uint8_t>(n + 5);
        const uint32_t address = static_cast<uint32_t>(at);
        for (int s = 24; s >= 0; s -= 8) body[len++] = static_cast<uint8_t>(address >> s);
        for (std::size_t i = 0; i < n; ++i) {
            seed = seed * 1664525u + 1013904223u;
            body[len++] = static_cast<uint8_t>(seed >> 24);
        }
        unsigned sum = 0;
        for (std::size_t i = 0; i < len; ++i) sum += body[i];
        body[len++] = static_cast<uint8_t>(~sum);
        std::size_t k = 0;
        line[k++] = 'S';
        line[k++] = '3';
        for (std::size_t i = 0; i < len; ++i) {
            line[k++] = hex[body[i] >> 4];
            line[k++] = hex[body[i] & 15];
        }
        line[k++] = '\n';
        std::fwrite(line.data(), 1, k, out);
        ++records;
    }
    std::fputs("S70500000000FA\n", out);
    std::fclose(out);
    return records;
}

// The Write dialog, reduced to what a run needs.
class Window : public WriteObserver {
public:
    Window(std::unique_ptr<WritePort>& port, Image& image) : port_(port), image_(image) {}
    void HandleWriteMessage(int message, int32_t lParam) override {
        if (message == UM_WRITE_PROGRESS) {
            total = lParam;
            return;
        }
        ClosePort(port_);
        CloseImage(image_);
        std::lock_guard lock(mutex_);
        last_ = message;
        done_.notify_all();
    }
    int wait() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return last_ != 0; });
        return last_;
    }
    int32_t total = 0;

private:
    std::unique_ptr<WritePort>& port_;
    Image& image_;
    std::mutex mutex_;
    std::condition_variable done_;
    int last_ = 0;
};

// One whole run as the Write dialog makes it; returns its seconds, or -1.
double Run(const std::string& imagePath, const std::string& device, int32_t portId, int32_t* total = nullptr) {
    Image image;
    std::unique_ptr<WritePort> port;
    Window window(port, image);
    WriteRun run;
    const auto start = Clock::now();
    if (!OpenImage(imagePath, image)) return -1;
    PortSettings settings;
    settings.BaudRate = ID_19200;
    settings.Port = portId;
    port = OpenWritePort(settings, DeviceMap{device, device, device}, run.parallelPort);
    if (!port) {
        CloseImage(image);
        return -1;
    }
    run.portHandle = port.get();
    run.imageFile = &image;
    run.progressWindow = &window;
    if (!StartWriteWorker(run)) return -1;
    const int last = window.wait();
    const double seconds = SecondsSince(start);
    if (total) *total = window.total;
    return last == UM_WRITE_END ? seconds : -1;
}

// A bare exchange on a pty: the frame out, one byte back, nothing else.
double BareRoundTrip(std::size_t frameBytes, std::size_t rounds) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return -1;
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    std::thread answerer([&] {
        std::vector<uint8_t> buffer(4096);
        std::size_t got = 0;
        for (std::size_t r = 0; r < rounds;) {
            ssize_t n = ::read(master, buffer.data(), buffer.size());
            if (n <= 0) return;
            got += static_cast<std::size_t>(n);
            while (got >= frameBytes && r < rounds) {
                got -= frameBytes;
                ++r;
                const uint8_t ack = 0x06;
                if (::write(master, &ack, 1) != 1) return;
            }
        }
    });
    std::vector<uint8_t> frame(frameBytes, 0x55);
    const auto start = Clock::now();
    for (std::size_t r = 0; r < rounds; ++r) {
        if (::write(slave, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) break;
        uint8_t answer = 0;
        if (::read(slave, &answer, 1) != 1) break;
    }
    const double seconds = SecondsSince(start);
    answerer.join();
    ::close(slave);
    ::close(master);
    return seconds / static_cast<double>(rounds);
}

// Peak resident memory of one run in a fresh process, in KiB.
long PeakMemoryOfRun(const std::string& self, const std::string& imagePath, const std::string& device,
                     double& seconds) {
    const auto start = Clock::now();
    pid_t child = ::fork();
    if (child == 0) {
        ::execl(self.c_str(), self.c_str(), "--run", imagePath.c_str(), device.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child) return -1;
    seconds = SecondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--run") == 0) {
        return Run(argv[2], argv[3], ID_LPT1) >= 0 ? 0 : 1;
    }
    const auto dir = std::filesystem::temp_directory_path() / ("quarveld_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    constexpr std::size_t kPerLine = 32;                 // data bytes per record
    constexpr std::size_t kFrameBytes = kPerLine + 9;    // STX N address data ETX CRC
    const bool settingsOnly = argc == 2 && std::strcmp(argv[1], "--settings") == 0;

    // (a) Per-frame cost against a printer that answers at once.
    if (!settingsOnly) {
        const std::string image = (dir / "a.mot").string();
        const std::size_t frames = WriteImage(image, 3000 * kPerLine, kPerLine);
        sim::Behaviour behaviour;
        behaviour.keepTraffic = false;
        sim::SimulatedPrinter printer(behaviour);
        int32_t total = 0;
        const double seconds = Run(image, printer.devicePath(), ID_COM1, &total);
        const double perFrame = seconds / static_cast<double>(frames);
        const double bare = BareRoundTrip(kFrameBytes, frames);
        std::printf("(a) instant printer: %zu frames of %zu bytes, %d data bytes, %.3f s\n", frames,
                    kFrameBytes, total, seconds);
        std::printf("    per frame: run %.1f us, bare pty write + 1-byte read %.1f us, ratio %.2f\n",
                    perFrame * 1e6, bare * 1e6, perFrame / bare);
    }

    // (b) Against a printer paced at 19200 baud.
    if (!settingsOnly) {
        const std::string image = (dir / "b.mot").string();
        const std::size_t frames = WriteImage(image, 100 * kPerLine, kPerLine);
        sim::Behaviour behaviour;
        behaviour.byteDelayMicros = 521;
        behaviour.keepTraffic = false;
        sim::SimulatedPrinter printer(behaviour);
        const double seconds = Run(image, printer.devicePath(), ID_COM1);
        const double bound = static_cast<double>(frames * (kFrameBytes + 1)) * 10.0 / 19200.0;
        std::printf("(b) 19200 baud printer: %zu frames, %.3f s; line-rate bound %.3f s; ratio %.3f\n",
                    frames, seconds, bound, seconds / bound);
    }

    // (c) Peak memory of LPT1 runs to /dev/null, each in a fresh process.
    if (!settingsOnly) {
        struct Case { const char* name; std::size_t bytes; };
        for (Case c : {Case{"empty image", 0}, Case{"1 MB image", std::size_t{1} << 20},
                       Case{"64 MB image", std::size_t{64} << 20}}) {
            const std::string image = (dir / "c.mot").string();
            const std::size_t frames = WriteImage(image, c.bytes, 64);
            const auto fileBytes = std::filesystem::file_size(image);
            double seconds = 0;
            const long peak = PeakMemoryOfRun(self, image, "/dev/null", seconds);
            std::printf("(c) %-11s: file %7.1f MB, %8zu frames, peak RSS %6ld KiB, %.2f s\n", c.name,
                        static_cast<double>(fileBytes) / 1e6, frames, peak, seconds);
            std::filesystem::remove(image);
        }
    }
    // (d) What a start takes from TORWIN.INI (the port settings, the device
    // map, whether it could be read), by the file's size. The map's keys sit
    // behind padding lines; a 3 GB file is sparse.
    {
        const std::string ini = (dir / "TORWIN.INI").string();
        struct Case { const char* name; std::size_t bytes; };
        for (Case c : {Case{"1 KB", 1000}, Case{"100 KB", 100000}, Case{"1000 KB", 1000000},
                       Case{"10 MB", 10000000}, Case{"3 GB", std::size_t{3} << 30}}) {
            const std::string keys = "[QUARVELD]\nPORT0=00c9\nPORT1=00cd\nPORT2=00cf\nPORT3=00d2\n[Devices]\n";
            std::string text = keys;
            const std::size_t written = std::min<std::size_t>(c.bytes, 16u << 20);
            while (text.size() + 24 < written) text += "; padding, padding, pad\n";
            text += "COM1=/dev/ttyUSB0\n";
            std::FILE* out = std::fopen(ini.c_str(), "wb");
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
            if (c.bytes > text.size()) std::filesystem::resize_file(ini, c.bytes);
            constexpr int kRounds = 20;
            PortSettings settings;
            DeviceMap devices;
            std::string problem;
            const auto start = Clock::now();
            for (int i = 0; i < kRounds; ++i) {
                const ProfileFile file(ini);
                LoadPortSettings(settings, file);
                devices = MachineDevices(file);
                problem = SettingsFileProblem(file);
            }
            std::printf("(d) TORWIN.INI of %-8s: start reads it in %8.3f ms; COM1 %s%s\n", c.name,
                        SecondsSince(start) / kRounds * 1e3, devices.COM1.c_str(),
                        problem.empty() ? "" : ", refused: too large");
            std::filesystem::remove(ini);
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
