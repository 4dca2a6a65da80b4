// quarveld-write: writes an image into the printer's flash from the command
// line, with the writer's own reader, port and transfer.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "console.hpp"
#include "dry_run.hpp"
#include "port.hpp"
#include "port_run.hpp"
#include "progress.hpp"
#include "settings_file.hpp"

namespace {

using namespace quarveld;

enum Status { Written = 0, WriteFailed = 1, BadUsage = 2, Aborted = 3 };

const char* const Help =
    "usage: quarveld-write [options] IMAGE\n"
    "Writes the S-record image IMAGE into the printer's flash memory, frame by frame,\n"
    "each frame answered by the printer before the next is sent.\n"
    "\n"
    "  --port PORT                 COM1 to COM256 or LPT1 (in any case), or a device\n"
    "                              path; a path is a serial line unless --parallel\n"
    "  --parallel                  the path given to --port is a parallel port (no answers)\n"
    "  --baud 19200|9600|4800|2400\n"
    "  --bits 8|7\n"
    "  --parity none|odd|even\n"
    "  --timeout SECONDS           no answer from the printer for that long ends the run\n"
    "                              with an error (default: wait for the answer)\n"
    "  --dry-run                   print the frames IMAGE would send, one line each; no port\n"
    "                              (the same as quarveld-frames IMAGE)\n"
    "  --help                      this text\n"
    "\n"
    "Port, baud rate, bit length and parity default to the settings in TORWIN.INI (on\n"
    "Linux in $XDG_CONFIG_HOME or ~/.config, on Windows in the Windows folder).\n"
    "On Linux COM1, COM2 and LPT1 are /dev/ttyS0, /dev/ttyS1 and /dev/lp0 unless the\n"
    "[Devices] section of TORWIN.INI maps them elsewhere; a further COMn is there only\n"
    "when that section maps it (COM3=/dev/ttyUSB0). On Windows they are the system's.\n"
    "On a terminal a progress line, fitted to its width, shows data bytes and frames\n"
    "sent, the rate and the time left, or how long the printer has not answered;\n"
    "otherwise plain lines. Ctrl+C aborts the run.\n"
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
            if (!value(v) || v.empty()) return "--port needs COM1 to COM256, LPT1 or a device path";
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
    if (options.parallel && (options.port.empty() || IsPortName(options.port)))
        return "--parallel goes with --port PATH";
    return "";
}

// What to do about a COMn that no device stands for.
std::string MapHint(const std::string& written, const std::string& ini) {
    std::string name;
    for (char c : written) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return "add " + name + "=DEVICE (for example " + name + "=/dev/ttyUSB0) to the [Devices] section of " + ini +
           ", or give the device itself: --port /dev/ttyUSB0";
}

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

    // The settings QUARVELD keeps, then what the command line says.
    const std::string ini = SettingsFilePath();
    PortSettings settings;
    LoadPortSettings(settings, ini);
    const DeviceMap devices = MachineDevices(ini);
    if (options.baud) settings.BaudRate = options.baud;
    if (options.bits) settings.BitLength = options.bits;
    if (options.parity) settings.Parity = options.parity;
    NamedPort port = PortFor(settings, devices);
    std::string why;
    if (!options.port.empty() && !NamePort(options.port, options.parallel, devices, port, why))
        return Fail(why + "; " + MapHint(options.port, ini), BadUsage);

    // Counted first, so progress can say "of how many", and so a damaged
    // image is refused before any of it reaches the printer.
    tools::ImageCount count;
    bool opened = false;
    if (!tools::CountImage(options.image, count, why, opened))
        return Fail(opened ? why + " (nothing was sent)" : why, opened ? WriteFailed : BadUsage);

    tools::RunBoard board;
    tools::PortRun run(port, count.frames, board);
    tools::CatchInterrupt();
    if (!run.Start(options.image, settings)) {
        run.Ended();
        return Fail(run.Reason(), BadUsage);
    }
    tools::ProgressView view(tools::StdoutIsTerminal(), count, false);
    std::vector<tools::PortRun*> runs{&run};
    view.Update(runs, false);

    const auto timeout = std::chrono::duration<double>(options.timeoutSeconds);
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(board.mutex);
            board.ended.wait_for(lock, std::chrono::milliseconds(25));
        }
        if (run.Ended()) break;
        const tools::RunState state = run.State();
        if (tools::Interrupted()) {
            run.Stop();
        } else if (options.timeoutSeconds > 0 && tools::Clock::now() - state.lastAnswer > timeout) {
            char text[64];
            std::snprintf(text, sizeof text, "%g s", options.timeoutSeconds);
            run.Stop(port.label + ": no answer from the printer for " + text + " at frame " +
                     std::to_string(state.frames + 1) + " of " + std::to_string(count.frames));
        }
        view.Update(runs, false);
    }
    view.Update(runs, true);

    switch (run.State().result) {
    case tools::RunResult::Written:
        std::fputs("Write End !\n", stdout);
        return Written;
    case tools::RunResult::Error:
        return Fail(run.Reason(), WriteFailed);
    default:
        std::fputs("Aborted\n", stdout);
        std::fprintf(stderr, "quarveld-write: %s\n", run.Reason().c_str());
        return Aborted;
    }
}
