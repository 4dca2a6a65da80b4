// quarveld-write: writes an image into the printer's flash from the command
// line, with the writer's own reader, port and transfer.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "console.hpp"
#include "dry_run.hpp"
#include "port.hpp"
#include "settings_file.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

namespace {

using namespace quarveld;
using Clock = std::chrono::steady_clock;

enum Status { Written = 0, WriteFailed = 1, BadUsage = 2, Aborted = 3 };

const char* const Help =
    "usage: quarveld-write [options] IMAGE\n"
    "Writes the S-record image IMAGE into the printer's flash memory, frame by frame,\n"
    "as the QUARVELD window's Write does.\n"
    "\n"
    "  --port COM1|COM2|LPT1|PATH  the port; a PATH is a serial line unless --parallel\n"
    "  --parallel                  the PATH given to --port is a parallel port (no answers)\n"
    "  --baud 19200|9600|4800|2400\n"
    "  --bits 8|7\n"
    "  --parity none|odd|even\n"
    "  --timeout SECONDS           no answer from the printer for that long ends the run\n"
    "                              with an error (default: wait, as the window does)\n"
    "  --dry-run                   print the frames IMAGE would send, one line each; no port\n"
    "                              (the same as quarveld-frames IMAGE)\n"
    "  --help                      this text\n"
    "\n"
    "Port, baud rate, bit length and parity default to the settings in TORWIN.INI, and\n"
    "COM1, COM2 and LPT1 to the devices its [Devices] section maps them to.\n"
    "On a terminal a progress line shows data bytes and frames sent, the rate and the\n"
    "time left; otherwise plain lines. Ctrl+C aborts the run as ABORT does.\n"
    "\n"
    "Exit status: 0 written to the end, 1 write error (the reason on standard error),\n"
    "2 bad usage or an image or port that cannot be opened, 3 aborted.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "quarveld-write: %s\nTry 'quarveld-write --help'.\n", why.c_str());
    return BadUsage;
}

struct Options {
    std::string image;
    std::string port;  // "" keeps the INI's
    bool parallel = false;
    int32_t baud = 0, bits = 0, parity = 0;  // 0 keeps the INI's
    double timeoutSeconds = 0;               // 0: wait
    bool dryRun = false;
    bool help = false;
};

// Returns "" or why the arguments are wrong.
std::string ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--parallel") {
            options.parallel = true;
        } else if (arg == "--port") {
            if (!value(v) || v.empty()) return "--port needs COM1, COM2, LPT1 or a device path";
            options.port = v;
        } else if (arg == "--baud") {
            if (!value(v)) return "--baud needs 19200, 9600, 4800 or 2400";
            if (v == "19200") options.baud = ID_19200;
            else if (v == "9600") options.baud = ID_9600;
            else if (v == "4800") options.baud = ID_4800;
            else if (v == "2400") options.baud = ID_2400;
            else return "--baud " + v + ": the port offers 19200, 9600, 4800 or 2400";
        } else if (arg == "--bits") {
            if (!value(v)) return "--bits needs 8 or 7";
            if (v == "8") options.bits = ID_8BIT;
            else if (v == "7") options.bits = ID_7BIT;
            else return "--bits " + v + ": the port offers 8 or 7";
        } else if (arg == "--parity") {
            if (!value(v)) return "--parity needs none, odd or even";
            if (v == "none") options.parity = ID_NONE;
            else if (v == "odd") options.parity = ID_ODD;
            else if (v == "even") options.parity = ID_EVEN;
            else return "--parity " + v + ": the port offers none, odd or even";
        } else if (arg == "--timeout") {
            if (!value(v)) return "--timeout needs a number of seconds";
            char* end = nullptr;
            const double seconds = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(seconds > 0) || seconds > 1e6)
                return "--timeout " + v + ": give a number of seconds greater than 0";
            options.timeoutSeconds = seconds;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else if (options.image.empty()) {
            options.image = arg;
        } else {
            return "one image at a time (" + options.image + ", " + arg + ")";
        }
    }
    if (!options.help && options.image.empty()) return "no image given";
    if (options.parallel && (options.port.empty() || options.port == "COM1" || options.port == "COM2" ||
                             options.port == "LPT1"))
        return "--parallel goes with --port PATH";
    return "";
}

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// The Write dialog's part: counts, shows progress, and hands the run's end
// to the main thread.
class Console : public WriteObserver {
public:
    Console(const tools::ImageCount& count, bool terminal) : count_(count), terminal_(terminal) {}

    void HandleWriteMessage(int message, int32_t lParam) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (message == UM_WRITE_PROGRESS) {
            ++frames_;
            bytes_ = static_cast<uint32_t>(lParam);
            lastAnswer_ = Clock::now();
            Show(false);
            return;
        }
        ending_ = message;
        ended_.notify_all();
    }

    // Waits for the run's end for up to `step`; 0 while it goes on.
    int WaitForEnd(std::chrono::milliseconds step) {
        std::unique_lock<std::mutex> lock(mutex_);
        ended_.wait_for(lock, step, [&] { return ending_ != 0; });
        return ending_;
    }

    Clock::time_point LastAnswer() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastAnswer_;
    }

    long Frames() {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }

    void Finish() {
        std::lock_guard<std::mutex> lock(mutex_);
        Show(true);
        if (terminal_) std::fputc('\n', stdout);
        std::fflush(stdout);
    }

private:
    void Show(bool last) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        const double rate = elapsed > 0 ? static_cast<double>(bytes_) / elapsed : 0;
        const double left = rate > 0 && count_.dataBytes > bytes_
                                ? static_cast<double>(count_.dataBytes - bytes_) / rate
                                : 0;
        if (!terminal_) {
            // Plain lines: one for every tenth of the image, and the last.
            const int tenth = count_.frames > 0 ? static_cast<int>(frames_ * 10 / count_.frames) : 10;
            if (!last && tenth == shownTenth_) return;
            if (last && frames_ == shownFrames_) return;
            shownTenth_ = tenth;
            shownFrames_ = frames_;
        }
        char line[160];
        std::snprintf(line, sizeof line, "%llu of %llu bytes, frame %ld of %ld, %.0f bytes/s, %s left",
                      static_cast<unsigned long long>(bytes_), static_cast<unsigned long long>(count_.dataBytes),
                      frames_, count_.frames, rate, Duration(left).c_str());
        if (terminal_) std::fprintf(stdout, "\r%-78s", line);
        else std::fprintf(stdout, "%s\n", line);
        std::fflush(stdout);
    }

    const tools::ImageCount count_;
    const bool terminal_;
    const Clock::time_point start_ = Clock::now();
    std::mutex mutex_;
    std::condition_variable ended_;
    int ending_ = 0;
    long frames_ = 0;
    uint32_t bytes_ = 0;
    Clock::time_point lastAnswer_ = Clock::now();
    int shownTenth_ = 0;
    long shownFrames_ = -1;
};

int Fail(const std::string& why, int status) {
    std::fputs("Write Error !\n", stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "quarveld-write: %s\n", why.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string wrong = ParseOptions(argc, argv, options);
    if (!wrong.empty()) return Usage(wrong);
    if (options.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (options.dryRun) return tools::PrintFrames(options.image);

    // The window's settings, then what the command line says.
    PortSettings settings;
    const std::string problem = SettingsFileProblem();
    if (!problem.empty()) std::fprintf(stderr, "quarveld-write: %s\n", problem.c_str());
    LoadPortSettings(settings);
    DeviceMap devices = LoadDeviceMap();
    if (options.baud) settings.BaudRate = options.baud;
    if (options.bits) settings.BitLength = options.bits;
    if (options.parity) settings.Parity = options.parity;
    if (options.port == "COM1") settings.Port = ID_COM1;
    else if (options.port == "COM2") settings.Port = ID_COM2;
    else if (options.port == "LPT1") settings.Port = ID_LPT1;
    else if (!options.port.empty()) {
        if (options.parallel) {
            devices.LPT1 = options.port;
            settings.Port = ID_LPT1;
        } else {
            devices.COM1 = options.port;
            settings.Port = ID_COM1;
        }
    }

    // Counted first, so progress can say "of how many", and so a damaged
    // image is refused before any of it reaches the printer.
    tools::ImageCount count;
    std::string why;
    bool opened = false;
    if (!tools::CountImage(options.image, count, why, opened))
        return Fail(opened ? why + " (nothing was sent)" : why, opened ? WriteFailed : BadUsage);

    WriteRun run;
    Image image;
    if (!OpenRunImage(run, image, options.image)) return Fail(run.failure, BadUsage);
    std::unique_ptr<WritePort> port = OpenRunPort(run, settings, devices);
    if (!port) {
        CloseImage(image);
        return Fail(run.failure, BadUsage);
    }

    Console console(count, tools::StdoutIsTerminal());
    run.progressWindow = &console;
    tools::CatchInterrupt();
    if (!StartWriteWorker(run)) {
        ClosePort(port);
        CloseImage(image);
        return Fail(run.failure, WriteFailed);
    }

    const auto timeout = std::chrono::duration<double>(options.timeoutSeconds);
    bool timedOut = false;
    int ending = 0;
    while ((ending = console.WaitForEnd(std::chrono::milliseconds(50))) == 0) {
        if (run.writeRunning.load() == 0) continue;  // stop asked for, the worker is on its way out
        if (tools::Interrupted()) {
            run.writeRunning.store(0);
        } else if (options.timeoutSeconds > 0 && Clock::now() - console.LastAnswer() > timeout) {
            timedOut = true;
            run.writeRunning.store(0);
        }
    }
    // The worker touches neither after its final message.
    ClosePort(port);
    CloseImage(image);
    console.Finish();

    switch (ending) {
    case UM_WRITE_END:
        std::fputs("Write End !\n", stdout);
        return Written;
    case UM_WRITE_ERROR:
        return Fail(run.failure, WriteFailed);
    default:
        break;
    }
    if (timedOut) {
        char text[64];
        std::snprintf(text, sizeof text, "%g s", options.timeoutSeconds);
        return Fail(run.portName + ": no answer from the printer for " + text + " at frame " +
                        std::to_string(console.Frames() + 1) + " of " + std::to_string(count.frames),
                    WriteFailed);
    }
    std::fputs("Aborted\n", stdout);
    std::fprintf(stderr, "quarveld-write: aborted after %ld of %ld frames\n", console.Frames(), count.frames);
    return Aborted;
}
