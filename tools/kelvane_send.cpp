// kelvane-send: memory switches from the command line, through the same
// printer link, commands and delivery as the editor's windows.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "commands.hpp"
#include "console.hpp"
#include "editor_paths.hpp"
#include "run_log.hpp"
#include "same_device.hpp"
#include "send_session.hpp"
#include "settings_files.hpp"
#include "vexlo_delivery.hpp"
#include "vexlo_link.hpp"

namespace {

using namespace kelvane;

enum Status { Sent = 0, Failed = 1, BadUsage = 2 };

const char* const Help =
    "usage: kelvane-send [DESTINATION ...] [--log FILE] SWITCH=VALUE ...\n"
    "       kelvane-send [DESTINATION ...] [--log FILE] --clear-all [--yes]\n"
    "       kelvane-send [DESTINATION ...] [--log FILE] --replay FILE.prn\n"
    "       kelvane-send --save FILE.prn SWITCH=VALUE ...\n"
    "\n"
    "SWITCH=VALUE    switch 0 to F, value one to four hex digits (3=0005,\n"
    "                A=8001); up to five, sent as one job with the closing\n"
    "                command, exactly as the advanced window sends the same rows\n"
    "--clear-all     sends the clear-all job; asks first (once) on a terminal\n"
    "-y, --yes       clears without asking (needed without a terminal)\n"
    "--save FILE     writes a customer settings file for the given switches\n"
    "                (switch order, closing command last), as \"Save Switches\"\n"
    "                does; sends nothing\n"
    "--replay FILE   sends a settings file unchanged: to LPT1 (the [Devices] map\n"
    "                of Kelvane2.ini) as \"Load Switches\" does, or to the\n"
    "                destinations given\n"
    "--log FILE      adds one JSON line per destination to FILE: result (\"sent\"\n"
    "                or \"error\"), destination, job_sha256, bytes (the job's\n"
    "                size), started and ended (UTC), reason (the line printed on\n"
    "                standard error, empty when sent), host, tool_version\n"
    "-h, --help      this text\n"
    "\n"
    "DESTINATION, by default the one the editor's printer link has stored:\n"
    "  --printer QUEUE  one raw job to this spooler queue\n"
    "  --device PATH    a printer or serial device, or a file the job is added to;\n"
    "                   a port's name (COM1, com10:, LPT2) is that port, never a\n"
    "                   file: on Linux as the [Devices] section of Kelvane2.ini\n"
    "                   maps it\n"
    "                   (COM3=/dev/ttyUSB0; COM1, COM2 and LPT1 are /dev/ttyS0,\n"
    "                   /dev/ttyS1 and /dev/lp0 unless mapped)\n"
    "  --file PATH      a file that is replaced by the job\n"
    "Each may be given several times: the job goes to every destination in turn,\n"
    "a failure at one does not stop the rest, and a summary follows (destination,\n"
    "result, bytes, reason). A destination given twice, under any name, is\n"
    "refused.\n"
    "\n"
    "Exit status: 0 sent to every destination, 1 the job or file could not be\n"
    "delivered (to one destination or more) or the log could not keep a record,\n"
    "2 bad usage.\n";


int Usage(const std::string& why) {
    std::fprintf(stderr, "kelvane-send: %s\nTry 'kelvane-send --help'.\n", why.c_str());
    return BadUsage;
}

// Where one job goes; the tool's own names, as the summary and log show them.
struct Destination {
    enum class Kind { Printer, Device, File, ParallelPort };
    Kind kind = Kind::Printer;
    std::string name;     // queue or path
    std::string setting;  // for LPT1: the file that maps it
    // The option that names it, as a user types it.
    std::string Option() const {
        switch (kind) {
        case Kind::Printer: return "--printer " + name;
        case Kind::Device: return "--device " + name;
        case Kind::File: return "--file " + name;
        case Kind::ParallelPort: return "LPT1 " + name;
        }
        return name;
    }
    std::string Text() const {
        switch (kind) {
        case Kind::Printer: return "printer " + name;
        case Kind::Device: return "device " + name;
        case Kind::File: return "file " + name;
        case Kind::ParallelPort: return "LPT1 " + name;
        }
        return name;
    }
};

struct Options {
    std::vector<Destination> destinations;  // in the order given
    std::string save, replay, log;
    bool clearAll = false, yes = false, help = false;
    std::vector<std::pair<int, std::string>> switches;  // number, value text
};

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

char Upper(char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; }

// "3=0005" into switch 3 and "0005"; the window upper-cases what is typed.
std::string ParseSwitch(const std::string& arg, Options& options) {
    const std::size_t eq = arg.find('=');
    const std::string number = arg.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
    if (number.size() != 1 || !IsHex(number[0]))
        return arg + ": the switch is one hex digit, 0 to F";
    if (value.empty() || value.size() > 4)
        return arg + ": the value is one to four hex digits";
    std::string upper;
    for (char c : value) {
        if (!IsHex(c)) return arg + ": the value is one to four hex digits";
        upper += Upper(c);
    }
    const char digit = Upper(number[0]);
    options.switches.emplace_back(digit <= '9' ? digit - '0' : digit - 'A' + 10, upper);
    return "";
}

std::string ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out, const char* what) -> std::string {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return arg + " needs " + what;
            out = argv[++i];
            return "";
        };
        auto destination = [&](Destination::Kind kind, const char* what) {
            Destination d{kind, "", ""};
            const std::string wrong = value(d.name, what);
            if (wrong.empty()) options.destinations.push_back(d);
            return wrong;
        };
        std::string wrong;
        if (arg == "--help" || arg == "-h") options.help = true;
        else if (arg == "--clear-all") options.clearAll = true;
        else if (arg == "--yes" || arg == "-y") options.yes = true;
        else if (arg == "--printer") wrong = destination(Destination::Kind::Printer, "a queue name");
        else if (arg == "--device") wrong = destination(Destination::Kind::Device, "a device path");
        else if (arg == "--file") wrong = destination(Destination::Kind::File, "a file path");
        else if (arg == "--log") wrong = value(options.log, "a file path");
        else if (arg == "--save") wrong = value(options.save, "a file path");
        else if (arg == "--replay") wrong = value(options.replay, "a file path");
        else if (arg.size() > 1 && arg[0] == '-') wrong = "unknown option " + arg;
        else wrong = ParseSwitch(arg, options);
        if (!wrong.empty()) return wrong;
    }
    if (options.help) return "";
    const int modes = !options.save.empty() + !options.replay.empty() + options.clearAll;
    if (modes > 1) return "--save, --replay and --clear-all go one at a time";
    if (!options.save.empty() && (!options.destinations.empty() || !options.log.empty()))
        return "--save writes the file it names; no destination or log goes with it";
    if ((options.clearAll || !options.replay.empty()) && !options.switches.empty())
        return "no SWITCH=VALUE goes with " + std::string(options.clearAll ? "--clear-all" : "--replay");
    if (options.yes && !options.clearAll) return "--yes goes with --clear-all";
    if (modes == 0 && options.switches.empty()) return "nothing to send: give SWITCH=VALUE, --clear-all, --save or --replay";
    if (options.save.empty() && options.switches.size() > RowCount)
        return "at most five switches go in one job, as in the advanced window";
    // One printer given twice would get the job twice.
    const auto& all = options.destinations;
    for (std::size_t i = 0; i < all.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const bool queues = all[i].kind == Destination::Kind::Printer || all[j].kind == Destination::Kind::Printer;
            const bool same = queues ? all[i].kind == all[j].kind && all[i].name == all[j].name
                                     : station::SameDevice(all[i].name, all[j].name);
            if (!same) continue;
            if (all[i].Option() == all[j].Option()) return all[i].Option() + " is given twice";
            return all[j].Option() + " and " + all[i].Option() + " are the same " +
                   (all[i].kind == Destination::Kind::Printer ? "printer" : "file or device") + ", given twice";
        }
    }
    return "";
}

bool AskToClear() {
    std::fprintf(stdout, "%s. %s [y/N] ", StartSessionPrompt, ConfirmTitle);
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

// Records the job a workflow builds, so that one job goes to every destination.
class JobRecorder : public PrinterLink {
public:
    std::string job;
    void LoadSettings(const std::string&) override {}
    void SaveSettings(const std::string&) override {}
    void StartJob() override { job.clear(); }
    void AddCommand(const std::string& command) override { job += command; }
    void EndJob() override {}
    void setOutputToFile(bool) override {}
    void setOutputMode(int32_t) override {}
    void setOutputFileName(const std::string&) override {}
};

// Where a job goes when no destination is given: the printer link's stored
// choice as the windows load it, or for a replay LPT1, as "Load Switches" does.
Destination DefaultDestination(bool replay) {
    if (replay) {
        const ParallelPort port = ReadParallelPort(EditorSettingsPath());
        if (!port.problem.empty()) std::fprintf(stderr, "kelvane-send: %s\n", port.problem.c_str());
        return {Destination::Kind::ParallelPort, port.path, port.setting};
    }
    VexloLink link;
    link.setQueues(vexlo::ListSpoolerQueues());
    try {
        link.LoadSettings(WindowSettingsName);
    } catch (const LinkError& e) {
        // As in the windows: without the stored choice, the preselection.
        std::fprintf(stderr, "kelvane-send: %s\n", e.what());
    }
    const LinkDestination stored = link.destination();
    if (stored.kind == LinkDestination::Kind::None)
        throw LinkError("No printer or device is stored for the editor; give --printer, --device or --file.");
    return {stored.kind == LinkDestination::Kind::Spooler ? Destination::Kind::Printer : Destination::Kind::Device,
            stored.name, ""};
}

// Sends the job to one destination through the windows' delivery; returns
// what the link has to tell besides success (a paused queue).
std::string Deliver(const Destination& destination, const std::string& job) {
    if (destination.kind == Destination::Kind::ParallelPort) {
        WriteToParallelPort(job, {destination.name, destination.setting, ""});
        return "";
    }
    VexloLink link;
    if (destination.kind == Destination::Kind::File) {
        link.setOutputToFile(true);
        link.setOutputFileName(destination.name);
    } else {
        const auto kind = destination.kind == Destination::Kind::Printer ? LinkDestination::Kind::Spooler
                                                                          : LinkDestination::Kind::Device;
        link.setDestination({kind, destination.name});
    }
    link.StartJob();
    link.AddCommand(job);
    link.EndJob();
    return link.notice();
}

// The user's login, for a command to copy.
std::string LoginName() {
    for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return value;
    }
    return "USER";
}

std::string JoinGroupCommand(const std::string& group) {
    return "usermod -aG " + group + " " + LoginName() + " (as root), then log in again";
}

// The link's failures in the command line's words: options where the
// windows have a refresh button and the Settings box. `option` is the one
// that named the path that failed ("--file", "--device"), when known.
std::string CommandLineText(const LinkError& error, const std::string& option = "") {
    const std::string reason = error.reason();
    switch (error.remedy()) {
    case LinkRemedy::JoinGroup:
        return reason + ": " + JoinGroupCommand(error.subject()) + "; or give another --device PATH.";
    case LinkRemedy::WritableFolder:
    case LinkRemedy::WritableFile:
        return reason + " Give " + (option.empty() ? "a path" : option + " PATH") + " in a folder you may write to.";
    case LinkRemedy::MapParallelPort: break;
    case LinkRemedy::ChooseDestination: return reason + ": give --printer QUEUE, --device PATH or --file PATH.";
    case LinkRemedy::ChoosePrinter: return reason + ": give --printer QUEUE.";
    case LinkRemedy::GivePath: return reason + ": give --device PATH or --file PATH.";
    case LinkRemedy::RefreshPrinters: return reason + " Give another queue with --printer QUEUE; `lpstat -p` lists them.";
    case LinkRemedy::UseDevice: return reason + ", or give --device PATH.";
    case LinkRemedy::RefreshDevices: {
        std::string present;
        for (const std::string& device : vexlo::ListDevices()) present += (present.empty() ? "" : ", ") + device;
        return reason + (present.empty() ? " No printer or serial device is present." : " Devices present: " + present + ".") +
               " Give the printer's device with --device PATH.";
    }
    case LinkRemedy::None: break;
    }
    return error.what();
}

// A failure to send a settings file, ending with the command that helps.
std::string CommandLineText(const FileError& error, const std::string& replay) {
    const std::string message = error.what();
    switch (error.remedy()) {
    case LinkRemedy::JoinGroup: return message + ": " + JoinGroupCommand(error.subject()) + ".";
    case LinkRemedy::MapParallelPort:
        return message + "; or send it to the device at once: kelvane-send --replay " + replay +
               " --device /dev/usb/lp0";
    default: return message;
    }
}

struct Outcome {
    std::string destination;
    bool sent = false;
    std::string reason;  // as the summary shows it
};

void PrintSummary(const std::vector<Outcome>& outcomes, std::size_t bytes) {
    std::size_t width = std::string("destination").size();
    for (const Outcome& o : outcomes) width = std::max(width, o.destination.size());
    std::size_t sent = 0;
    std::printf("%-*s  result  bytes  reason\n", static_cast<int>(width), "destination");
    for (const Outcome& o : outcomes) {
        sent += o.sent;
        const std::string count = o.sent ? std::to_string(bytes) : "-";
        std::printf("%-*s  %-6s  %5s%s%s\n", static_cast<int>(width), o.destination.c_str(), o.sent ? "sent" : "error",
                    count.c_str(), o.reason.empty() ? "" : "  ", o.reason.c_str());
    }
    std::printf("Sent to %zu of %zu destinations.\n", sent, outcomes.size());
}

int Run(const Options& options) {
    if (!options.save.empty()) {
        VexloLink link;
        SessionState session;
        session.SessionOpen = true;
        for (const auto& [number, value] : options.switches) session.SessionValues[number] = value;
        session.SessionHasValues = true;
        SaveSessionToFile(link, session, options.save);
        return Sent;
    }
    if (options.clearAll && !options.yes && !tools::StdinIsTerminal()) {
        std::fputs("kelvane-send: --clear-all asks first; without a terminal give --yes\n", stderr);
        return BadUsage;
    }
    station::RunLog log;
    std::string why;
    if (!options.log.empty() && !log.Open(options.log, why)) {
        std::fprintf(stderr, "kelvane-send: the log cannot be opened: %s\n", why.c_str());
        return BadUsage;
    }

    std::vector<Destination> destinations = options.destinations;
    if (destinations.empty()) destinations.push_back(DefaultDestination(!options.replay.empty()));

    // One job for every destination; a clear-all asks once.
    std::string job;
    if (!options.replay.empty()) {
        job = ReadSettingsFile(options.replay);
    } else {
        JobRecorder recorder;
        if (options.clearAll) {
            const auto confirm = [&](const std::string&) { return options.yes || AskToClear(); };
            if (!ResetAllMemorySwitches(recorder, confirm)) {
                std::fputs("Nothing was sent.\n", stdout);
                return Failed;
            }
        } else {
            std::array<Row, RowCount> rows{};
            for (std::size_t r = 0; r < options.switches.size(); ++r)
                rows[r] = {static_cast<int16_t>(options.switches[r].first), options.switches[r].second};
            SessionState session;  // no session: nothing is recorded
            AdvancedSend(recorder, rows, session);
        }
        job = recorder.job;
    }

    const std::string digest = log.IsOpen() ? station::Sha256Hex(job) : "";
    const bool several = destinations.size() > 1;
    std::vector<Outcome> outcomes;
    bool logged = true;
    for (const Destination& destination : destinations) {
        Outcome outcome{destination.Text(), false, ""};
        const auto started = std::chrono::system_clock::now();
        std::string notice;
        try {
            notice = Deliver(destination, job);
            outcome.sent = true;
        } catch (const LinkError& e) {
            outcome.reason = CommandLineText(e, destination.kind == Destination::Kind::File     ? "--file"
                                                : destination.kind == Destination::Kind::Device ? "--device"
                                                                                                : "");
        } catch (const FileError& e) {
            outcome.reason = CommandLineText(e, options.replay);
        } catch (const std::exception& e) {
            outcome.reason = e.what();
        }
        const auto ended = std::chrono::system_clock::now();
        // With several destinations each line says which one it is about.
        const std::string prefix = "kelvane-send: " + (several ? outcome.destination + ": " : "");
        const std::string line = outcome.sent ? "" : prefix + outcome.reason;
        if (!line.empty()) std::fprintf(stderr, "%s\n", line.c_str());
        if (!notice.empty()) std::fprintf(stderr, "%s%s\n", prefix.c_str(), notice.c_str());
        if (log.IsOpen()) {
            const nlohmann::json record = {
                {"result", outcome.sent ? "sent" : "error"}, {"destination", outcome.destination},
                {"job_sha256", digest}, {"bytes", job.size()},
                {"started", station::UtcTimestamp(started)}, {"ended", station::UtcTimestamp(ended)},
                {"reason", line}, {"host", station::HostName()}, {"tool_version", station::ToolVersion()}};
            if (!log.Append(record, why)) {
                std::fprintf(stderr, "kelvane-send: the record of the job to %s was not kept: %s\n",
                             outcome.destination.c_str(), why.c_str());
                logged = false;
            }
        }
        outcomes.push_back(outcome);
    }
    if (several) PrintSummary(outcomes, job.size());
    const bool allSent = std::all_of(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.sent; });
    return allSent && logged ? Sent : Failed;
}

}  // namespace

int main(int argc, char** argv) {
    const tools::Utf8Arguments utf8(argc, argv);
    Options options;
    const std::string wrong = ParseOptions(argc, argv, options);
    if (!wrong.empty()) return Usage(wrong);
    if (options.help) {
        std::fputs(Help, stdout);
        return Sent;
    }
    try {
        return Run(options);
    } catch (const LinkError& e) {
        std::fprintf(stderr, "kelvane-send: %s\n", CommandLineText(e, options.save.empty() ? "" : "--save").c_str());
        return Failed;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-send: %s\n", e.what());
        return Failed;
    }
}
