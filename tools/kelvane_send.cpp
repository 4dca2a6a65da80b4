// kelvane-send: memory switches from the command line, through the same
// printer link, commands and delivery as the editor's windows.
#include <array>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "commands.hpp"
#include "console.hpp"
#include "editor_paths.hpp"
#include "send_session.hpp"
#include "settings_files.hpp"
#include "vexlo_delivery.hpp"
#include "vexlo_link.hpp"

namespace {

using namespace kelvane;

enum Status { Sent = 0, Failed = 1, BadUsage = 2 };

const char* const Help =
    "usage: kelvane-send [DESTINATION] SWITCH=VALUE ...\n"
    "       kelvane-send [DESTINATION] --clear-all [--yes]\n"
    "       kelvane-send --save FILE.prn SWITCH=VALUE ...\n"
    "       kelvane-send --replay FILE.prn [--device PATH]\n"
    "\n"
    "SWITCH=VALUE   switch 0 to F, value one to four hex digits (3=0005, A=8001); up to\n"
    "               five, sent as one job with the closing command, exactly as the\n"
    "               advanced window sends the same rows\n"
    "--clear-all    sends the clear-all job; asks first on a terminal\n"
    "--yes          clears without asking (needed when standard input is no terminal)\n"
    "--save FILE    writes a customer settings file for the given switches (switch\n"
    "               order, closing command last), as \"Save Switches\" does; sends nothing\n"
    "--replay FILE  sends a settings file unchanged to LPT1 (the [Devices] map of\n"
    "               Kelvane2.ini) or to --device PATH, as \"Load Switches\" does\n"
    "\n"
    "DESTINATION, by default the one the editor's printer link has stored:\n"
    "  --printer QUEUE  one raw job to this spooler queue\n"
    "  --device PATH    a printer or serial device, or a file the job is added to\n"
    "  --file PATH      a file that is replaced by the job\n"
    "\n"
    "Exit status: 0 sent, 1 the job or file could not be delivered, 2 bad usage.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "kelvane-send: %s\nTry 'kelvane-send --help'.\n", why.c_str());
    return BadUsage;
}

struct Options {
    std::string printer, device, file, save, replay;
    int destinations = 0;
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
        std::string wrong;
        if (arg == "--help" || arg == "-h") options.help = true;
        else if (arg == "--clear-all") options.clearAll = true;
        else if (arg == "--yes" || arg == "-y") options.yes = true;
        else if (arg == "--printer") wrong = value(options.printer, "a queue name"), ++options.destinations;
        else if (arg == "--device") wrong = value(options.device, "a device path"), ++options.destinations;
        else if (arg == "--file") wrong = value(options.file, "a file path"), ++options.destinations;
        else if (arg == "--save") wrong = value(options.save, "a file path");
        else if (arg == "--replay") wrong = value(options.replay, "a file path");
        else if (arg.size() > 1 && arg[0] == '-') wrong = "unknown option " + arg;
        else wrong = ParseSwitch(arg, options);
        if (!wrong.empty()) return wrong;
    }
    if (options.help) return "";
    if (options.destinations > 1) return "give one of --printer, --device and --file";
    const int modes = !options.save.empty() + !options.replay.empty() + options.clearAll;
    if (modes > 1) return "--save, --replay and --clear-all go one at a time";
    if (!options.save.empty() && options.destinations > 0)
        return "--save writes the file it names; no destination goes with it";
    if (!options.replay.empty() && (!options.printer.empty() || !options.file.empty()))
        return "--replay goes to LPT1 or to --device";
    if ((options.clearAll || !options.replay.empty()) && !options.switches.empty())
        return "no SWITCH=VALUE goes with " + std::string(options.clearAll ? "--clear-all" : "--replay");
    if (options.yes && !options.clearAll) return "--yes goes with --clear-all";
    if (modes == 0 && options.switches.empty()) return "nothing to send: give SWITCH=VALUE, --clear-all, --save or --replay";
    if (options.save.empty() && options.switches.size() > RowCount)
        return "at most five switches go in one job, as in the advanced window";
    return "";
}

bool AskToClear() {
    std::fprintf(stdout, "%s. %s [y/N] ", StartSessionPrompt, ConfirmTitle);
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

// The link as the windows load it, then the destination the command line gives.
void Prepare(VexloLink& link, const Options& options) {
    if (!options.file.empty()) {
        link.setOutputToFile(true);
        link.setOutputFileName(options.file);
        return;
    }
    if (!options.printer.empty()) {
        link.setDestination({LinkDestination::Kind::Spooler, options.printer});
        return;
    }
    if (!options.device.empty()) {
        link.setDestination({LinkDestination::Kind::Device, options.device});
        return;
    }
    link.setQueues(vexlo::ListSpoolerQueues());
    try {
        link.LoadSettings(WindowSettingsName);
    } catch (const LinkError& e) {
        // As in the windows: without the stored choice, the preselection.
        std::fprintf(stderr, "kelvane-send: %s\n", e.what());
    }
    if (link.destination().kind == LinkDestination::Kind::None)
        throw LinkError("No printer or device is stored for the editor; give --printer, --device or --file.");
}

int Run(const Options& options) {
    if (!options.replay.empty()) {
        if (!options.device.empty()) {
            ReplayFile(options.replay, options.device);
            return Sent;
        }
        const ParallelPort port = ReadParallelPort(EditorSettingsPath());
        if (!port.problem.empty()) std::fprintf(stderr, "kelvane-send: %s\n", port.problem.c_str());
        ReplayFile(options.replay, port);
        return Sent;
    }

    VexloLink link;
    if (!options.save.empty()) {
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
    Prepare(link, options);
    if (options.clearAll) {
        const auto confirm = [&](const std::string&) { return options.yes || AskToClear(); };
        if (!ResetAllMemorySwitches(link, confirm)) {
            std::fputs("Nothing was sent.\n", stdout);
            return Failed;
        }
    } else {
        std::array<Row, RowCount> rows{};
        for (std::size_t r = 0; r < options.switches.size(); ++r)
            rows[r] = {static_cast<int16_t>(options.switches[r].first), options.switches[r].second};
        SessionState session;  // no session: nothing is recorded
        AdvancedSend(link, rows, session);
    }
    if (!link.notice().empty()) std::fprintf(stderr, "kelvane-send: %s\n", link.notice().c_str());
    return Sent;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string wrong = ParseOptions(argc, argv, options);
    if (!wrong.empty()) return Usage(wrong);
    if (options.help) {
        std::fputs(Help, stdout);
        return Sent;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvane-send: %s\n", e.what());
        return Failed;
    }
}
