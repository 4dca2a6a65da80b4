// quarveld-simprinter: a flash loader on a pseudo-terminal, to try the writer
// without a printer. Prints the device path, then one line per frame.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "simulated_printer.hpp"

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) { gStop = 1; }

const char* const Help =
    "usage: quarveld-simprinter [options]\n"
    "A printer in its flash-loading mode, on a pseudo-terminal: it prints the\n"
    "device to give the writer (/dev/pts/N) on its first line, then one line per\n"
    "frame it receives: index, data count, address, and its answer (ACK, NAK,\n"
    "HANG-UP or -). Ctrl+C ends it.\n"
    "\n"
    "  --out FILE       at the end, write the flash it received to FILE, from its\n"
    "                   lowest address, gaps filled with FF\n"
    "  --nak-at K       answer frame K (counted from 0) with NAK\n"
    "  --silent-from K  answer nothing from frame K on\n"
    "  --hang-up-at K   hang up the line at frame K\n"
    "  --noise HEX      send these bytes before every answer (\"FF 41\")\n"
    "  --baud B         take bytes no faster than B baud would bring them\n"
    "  --parallel       stand in for a parallel port: take frames, answer none\n"
    "  -h, --help       this text\n"
    "\n"
    "Exit status: 0 ended, 1 FILE could not be written, 2 bad usage or no\n"
    "pseudo-terminal.\n";

// Asked for with --help: standard output and success; after a bad option, standard error and 2.
int Usage(bool asked = false) {
    if (asked) {
        std::fputs(Help, stdout);
        return 0;
    }
    std::fputs("usage: quarveld-simprinter [options]\nTry 'quarveld-simprinter --help'.\n", stderr);
    return 2;
}

bool ParseInt(const char* text, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < 0 || v > 1'000'000'000) return false;
    value = int(v);
    return true;
}

// "FF 00", "ff00" or "FF,00": hex pairs, separators ignored.
bool ParseHex(const char* text, std::string& bytes) {
    int high = -1;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ' || *p == ',' || *p == ':') {
            if (high >= 0) return false;
            continue;
        }
        char digit[2] = {*p, 0};
        char* end = nullptr;
        const long v = std::strtol(digit, &end, 16);
        if (*end) return false;
        if (high < 0) {
            high = int(v);
        } else {
            bytes.push_back(char(high << 4 | v));
            high = -1;
        }
    }
    return high < 0;
}

const char* AnswerText(quarveld::sim::Answer answer) {
    switch (answer) {
    case quarveld::sim::Answer::Ack: return "ACK";
    case quarveld::sim::Answer::Nak: return "NAK";
    case quarveld::sim::Answer::HangUp: return "HANG-UP";
    case quarveld::sim::Answer::None: break;
    }
    return "-";
}

}  // namespace

int main(int argc, char** argv) {
    quarveld::sim::Behaviour behaviour;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        int number = 0;
        if (arg == "--help" || arg == "-h") {
            return Usage(true);
        } else if (arg == "--parallel") {
            behaviour.parallel = true;
        } else if (arg == "--out" && hasValue) {
            out = argv[++i];
        } else if (arg == "--noise" && hasValue) {
            if (!ParseHex(argv[++i], behaviour.noiseBeforeAnswer)) return Usage();
        } else if ((arg == "--nak-at" || arg == "--silent-from" || arg == "--baud" || arg == "--hang-up-at") &&
                   hasValue) {
            if (!ParseInt(argv[++i], number)) return Usage();
            if (arg == "--nak-at") behaviour.nakAtFrame = number;
            if (arg == "--silent-from") behaviour.silentFromFrame = number;
            if (arg == "--hang-up-at") behaviour.hangUpAtFrame = number;
            if (arg == "--baud") behaviour.byteDelayMicros = quarveld::sim::ByteDelayForBaud(number);
        } else {
            return Usage();
        }
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed stdout must not cost the image.
    std::signal(SIGPIPE, SIG_IGN);

    try {
        quarveld::sim::SimulatedPrinter printer(behaviour);
        std::printf("%s\n", printer.devicePath().c_str());
        std::fflush(stdout);
        std::size_t shown = 0;
        bool ended = false;
        while (!gStop && !ended) {
            ended = printer.waitForHangUp(100);
            const auto log = printer.frameLog();
            for (; shown < log.size(); ++shown) {
                const auto& f = log[shown];
                std::printf("%zu %u %08X %s%s\n", f.index, f.count, unsigned(f.address), AnswerText(f.answer),
                            f.good ? "" : " (bad frame)");
            }
            std::fflush(stdout);
        }
        if (out && !printer.writeBinary(out)) {
            std::fprintf(stderr, "quarveld-simprinter: cannot write %s\n", out);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quarveld-simprinter: %s\n", e.what());
        return 2;
    }
    return 0;
}
