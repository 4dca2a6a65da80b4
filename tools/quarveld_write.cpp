// quarveld-write: writes an image into the printer's flash from the command
// line, with the writer's own reader, port and transfer.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "arguments.hpp"
#include "console.hpp"
#include "dry_run.hpp"
#include "file_name.hpp"
#include "image_check.hpp"
#include "port.hpp"
#include "port_run.hpp"
#include "progress.hpp"
#include "run_log.hpp"
#include "same_device.hpp"
#include "settings_file.hpp"
#include "station.hpp"

namespace {

using namespace quarveld;

enum Status { Written = 0, WriteFailed = 1, BadUsage = 2, Aborted = 3 };

const char* const Help =
    "usage: quarveld-write [options] IMAGE\n"
    "       quarveld-write --dry-run IMAGE\n"
    "Writes the S-record image IMAGE into the printer's flash memory, frame by\n"
    "frame, each frame answered by the printer before the next is sent; to several\n"
    "printers at once when several ports are given.\n"
    "\n"
    "  --port PORT            COM1 to COM256 or LPT1 (any case), or a device path;\n"
    "                         a path is a serial line unless --parallel. Give it\n"
    "                         again for more ports\n"
    "  --ports PORT,PORT,...  several ports at once\n"
    "  --parallel             the paths given are parallel ports (no answers)\n"
    "  --baud 19200|9600|4800|2400\n"
    "  --bits 8|7\n"
    "  --parity none|odd|even\n"
    "  --timeout SECONDS      no answer from a printer for that long ends its run\n"
    "                         with an error (default: wait for the answer)\n"
    "  --repeat               station mode: when every port has ended, wait for\n"
    "                         the next printers and Enter (q or the end of input\n"
    "                         stops), then write them all again; at the end the\n"
    "                         units written and failed per port\n"
    "  --log FILE             append a JSON line for every port's run: started,\n"
    "                         ended (UTC), port, device, image, image_bytes,\n"
    "                         image_sha256, frames_sent (frames that went out),\n"
    "                         frames_total, bytes_sent (data bytes acknowledged),\n"
    "                         result (written, error or aborted), reason, unit,\n"
    "                         host, tool_version\n"
    "  --dry-run              print the frames IMAGE would send, one line each;\n"
    "                         no port (the same as quarveld-frames IMAGE)\n"
    "  -h, --help             this text\n"
    "\n"
    "Port, baud rate, bit length and parity default to the settings in TORWIN.INI\n"
    "(on Linux in $XDG_CONFIG_HOME or ~/.config, on Windows in the Windows folder).\n"
    "On Linux COM1, COM2 and LPT1 are /dev/ttyS0, /dev/ttyS1 and /dev/lp0 unless\n"
    "the [Devices] section of TORWIN.INI maps them elsewhere; a further COMn is\n"
    "there only when that section maps it (COM3=/dev/ttyUSB0). On Windows they are\n"
    "the system's. A port given twice, under any name, is refused.\n"
    "\n"
    "The image is read through and checked once, before any port is opened. Each\n"
    "port is written on its own; a refused frame, a silent printer or a device\n"
    "that goes away ends that port's run only. On a terminal a progress line per\n"
    "port, fitted to its width, shows data bytes and frames sent, the rate and the\n"
    "time left, or how long the printer has not answered; with more ports than\n"
    "rows, a line per port as it ends. With several ports a table of the results\n"
    "follows. Otherwise plain lines, each starting with its port when there are\n"
    "several. Ctrl+C, or the loss of the terminal, aborts every port.\n"
    "\n"
    "Exit status: 0 written to the end at every port, 1 write error at a port (the\n"
    "reason on standard error) or a run the log could not keep, 2 bad usage or an\n"
    "image refused before anything was sent (or, with one port and no --repeat, a\n"
    "port that cannot be opened), 3 aborted.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "quarveld-write: %s\nTry 'quarveld-write --help'.\n", why.c_str());
    return BadUsage;
}

struct Options {
    std::string image;
    std::vector<std::string> ports;  // none: the INI's
    bool parallel = false;
    bool repeat = false;
    std::string log;
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
        } else if (arg == "--repeat") {
            options.repeat = true;
        } else if (arg == "--port") {
            if (!value(v) || v.empty()) return "--port needs COM1 to COM256, LPT1 or a device path";
            options.ports.push_back(v);
        } else if (arg == "--ports") {
            if (!value(v) || v.empty()) return "--ports needs ports separated by commas (COM1,COM2)";
            for (std::size_t start = 0; start <= v.size();) {
                const std::size_t comma = std::min(v.find(',', start), v.size());
                if (comma == start) return "--ports " + v + ": a port between two commas is missing";
                options.ports.push_back(v.substr(start, comma - start));
                start = comma + 1;
            }
        } else if (arg == "--log") {
            if (!value(v) || v.empty()) return "--log needs a file";
            options.log = v;
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
    if (options.parallel &&
        (options.ports.empty() || std::any_of(options.ports.begin(), options.ports.end(), IsPortName)))
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

// A port that was never opened wrote nothing: only the reason, on standard error.
int Refuse(const std::string& why, int status) {
    std::fprintf(stderr, "quarveld-write: %s\n", why.c_str());
    return status;
}

// "COM0", "com257", "LPT2", "COM01": names of ports that do not exist here.
// Taken as paths they would be files in the current folder.
bool LooksLikePortName(const std::string& written) {
    std::string upper;
    for (char c : written) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.rfind("COM", 0) != 0 && upper.rfind("LPT", 0) != 0) return false;
    std::size_t end = upper.size();
    if (end > 3 && upper[end - 1] == ':') --end;
    if (end == 3) return false;
    for (std::size_t i = 3; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(upper[i]))) return false;
    }
    return true;
}

// What every run of the image shares.
struct Job {
    Options options;
    PortSettings settings;
    station::HeldImage image;  // every port and every unit writes these bytes
    bool several = false;  // a line per port, a summary at the end
    bool terminal = false;
    station::RunLog log;
    station::RunBoard board;  // outlives every run
};

// Appends the run's record; false, said on standard error, when it cannot.
bool LogRun(Job& job, const station::PortRun& run, long unit) {
    if (!job.log.IsOpen()) return true;
    const nlohmann::json record = station::RunRecord(run, job.image, unit);
    std::string why;
    if (job.log.Append(record, why)) return true;
    std::fprintf(stderr, "quarveld-write: the record of unit %ld at %s was not kept: %s\n", unit,
                 run.Port().label.c_str(), why.c_str());
    return false;
}

struct Outcome {
    bool aborted = false;
    bool failed = false;  // a port not written, or a run not logged
};

// One unit at every port at once, each on its own worker; returns once every
// run has ended and its port is closed again.
Outcome WriteRound(Job& job, const std::vector<NamedPort>& ports, long unit, std::vector<tools::Tally>& tallies,
                   std::vector<std::unique_ptr<station::PortRun>>& owned) {
    station::RunBoard& board = job.board;
    owned.clear();
    std::vector<station::PortRun*> runs;
    for (const NamedPort& port : ports) {
        owned.push_back(std::make_unique<station::PortRun>(port, job.image.count.frames, board));
        runs.push_back(owned.back().get());
    }
    for (station::PortRun* run : runs) run->Start(job.image, job.settings);
    tools::ProgressView view(job.terminal, job.image.count, job.several);
    view.Update(runs, false);

    Outcome outcome;
    const auto timeout = std::chrono::duration<double>(job.options.timeoutSeconds);
    std::vector<bool> logged(runs.size(), false);
    for (;;) {
        long endings = 0;
        {
            std::lock_guard<std::mutex> lock(board.mutex);
            endings = board.endings;
        }
        bool all = true;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (!runs[i]->Ended()) {
                all = false;
            } else if (!logged[i]) {
                // Kept before anything else happens: a killed tool loses no finished run.
                logged[i] = true;
                outcome.failed |= !LogRun(job, *runs[i], unit);
            }
        }
        if (all) break;
        {
            std::unique_lock<std::mutex> lock(board.mutex);
            board.ended.wait_for(lock, std::chrono::milliseconds(25), [&] { return board.endings != endings; });
        }
        const bool interrupted = tools::Interrupted();
        for (station::PortRun* run : runs) {
            const station::RunState state = run->State();
            if (state.result != station::RunResult::Running) continue;
            if (interrupted) {
                run->Stop();
            } else if (job.options.timeoutSeconds > 0 && station::Clock::now() - state.lastAnswer > timeout) {
                char text[64];
                std::snprintf(text, sizeof text, "%g s", job.options.timeoutSeconds);
                run->Stop(run->Port().label + ": no answer from the printer for " + text + " at frame " +
                          std::to_string(state.frames + 1) + " of " + std::to_string(job.image.count.frames));
            }
        }
        view.Update(runs, false);
    }
    view.Update(runs, true);

    for (std::size_t i = 0; i < runs.size(); ++i) {
        const station::RunResult result = runs[i]->State().result;
        outcome.aborted |= result == station::RunResult::Aborted;
        outcome.failed |= result != station::RunResult::Written;
        if (result == station::RunResult::Written) {
            ++tallies[i].written;
        } else {
            ++tallies[i].failed;
            if (job.several) std::fprintf(stderr, "quarveld-write: %s\n", runs[i]->Reason().c_str());
        }
    }
    if (job.several) tools::PrintSummary(runs, job.image.count, job.terminal);
    return outcome;
}

// Station mode: false when the operator is done (q, end of input, Ctrl+C;
// the last is told by tools::Interrupted()).
bool NextUnit(const Job& job) {
    // The units go on with the image as checked; a new one needs a new start.
    if (station::ChangedOnDisk(job.image))
        std::fprintf(stdout, "%s has changed on disk since it was checked; the next units get the image as "
                             "checked (SHA-256 %.12s...). Start again to write the new one.\n",
                     job.image.path.c_str(), job.image.sha256.c_str());
    std::fputs("Connect the next printers and press Enter (q to stop): ", stdout);
    std::fflush(stdout);
    char line[256];
    if (tools::Interrupted() || std::fgets(line, sizeof line, stdin) == nullptr || tools::Interrupted()) {
        std::fputc('\n', stdout);
        return false;
    }
    std::string answer = line;
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) answer.pop_back();
    return answer != "q" && answer != "Q";
}

}  // namespace

int main(int argc, char** argv) {
    const tools::Utf8Arguments utf8(argc, argv);
    Job job;
    Options& options = job.options;
    const std::string wrong = ParseOptions(argc, argv, options);
    if (!wrong.empty()) return Usage(wrong);
    if (options.help) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (options.dryRun) return tools::PrintFrames(options.image);

    // The settings QUARVELD keeps, then what the command line says.
    const std::string ini = SettingsFilePath();
    const ProfileFile stored(ini);
    const std::string problem = SettingsFileProblem(stored);
    if (!problem.empty()) std::fprintf(stderr, "quarveld-write: %s\n", problem.c_str());
    PortSettings& settings = job.settings;
    LoadPortSettings(settings, stored);
    const DeviceMap devices = MachineDevices(stored);
    if (options.baud) settings.BaudRate = options.baud;
    if (options.bits) settings.BitLength = options.bits;
    if (options.parity) settings.Parity = options.parity;
    std::vector<NamedPort> ports;
    std::string why;
    if (options.ports.empty()) ports.push_back(PortFor(settings, devices));
    for (std::string written : options.ports) {
        // "COM1:" as a command prompt writes it.
        if (written.size() > 1 && written.back() == ':' && IsPortName(written.substr(0, written.size() - 1)))
            written.pop_back();
        if (!IsPortName(written) && LooksLikePortName(written))
            return Usage("--port " + written + ": there is no such port; the ports are COM1 to COM" +
                         std::to_string(LastComNumber) + " and LPT1 (or give a device path)");
        NamedPort port;
        if (!NamePort(written, options.parallel, devices, port, why))
            return Refuse(why + "; " + MapHint(written, ini), BadUsage);
        for (const NamedPort& other : ports) {
            if (station::SameDevice(other.device, port.device)) {
                const std::string same = other.written == written ? written + " is given twice"
                                                                  : other.written + " and " + written +
                                                                        " are the same port, given twice";
                return Usage(same + " (" + port.device + ")");
            }
        }
        ports.push_back(port);
    }
    job.several = ports.size() > 1 || options.repeat;
    job.terminal = tools::StdoutIsTerminal();

    // Counted first, so progress can say "of how many", and so a damaged
    // image is refused before any of it reaches a printer.
    // Refused before anything is sent: a matter of usage, with any number of ports.
    bool opened = false;
    if (!station::HoldImage(options.image, job.image, why, opened))
        return Fail(opened ? why + " (nothing was sent)" : why, BadUsage);
    if (!options.log.empty() && !job.log.Open(options.log, why))
        return Fail(options.log + ": the log cannot be opened: " + why, BadUsage);

    tools::CatchInterrupt();
    std::vector<tools::Tally> tallies;
    for (const NamedPort& port : ports) tallies.push_back({port.written, 0, 0});
    std::vector<std::unique_ptr<station::PortRun>> runs;
    Outcome total;
    long unit = 1;
    for (;; ++unit) {
        const Outcome round = WriteRound(job, ports, unit, tallies, runs);
        total.aborted |= round.aborted;
        total.failed |= round.failed;
        if (round.aborted || !options.repeat || !NextUnit(job)) break;
    }
    // Ctrl+C (or a lost terminal) at the prompt stops the station as aborted, not as done.
    total.aborted |= tools::Interrupted();
    if (options.repeat) {
        std::fprintf(stdout, "%ld unit%s at each port:\n", unit, unit == 1 ? "" : "s");
        tools::PrintTallies(tallies, job.terminal);
    }
    if (job.several) return total.aborted ? Aborted : total.failed ? WriteFailed : Written;

    // One port: the window's notices, as ever.
    const station::PortRun& run = *runs.front();
    const station::RunState state = run.State();
    if (state.result == station::RunResult::Written) {
        std::fputs("Write End !\n", stdout);
        return total.failed ? WriteFailed : Written;
    }
    if (state.result == station::RunResult::Aborted) {
        std::fputs("Aborted\n", stdout);
        std::fprintf(stderr, "quarveld-write: %s\n", run.Reason().c_str());
        return Aborted;
    }
    // A port that cannot be opened is a matter of usage when it is the only one.
    if (!run.Opened()) return Refuse(run.Reason(), BadUsage);
    return Fail(run.Reason(), WriteFailed);
}
