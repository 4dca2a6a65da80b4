#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "console.hpp"

namespace tools {

namespace {
std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int) { interrupted.store(true); }
}  // namespace

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

int TerminalRows() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return 24;
    return size.ws_row;
}

void CursorUp(int lines) {
    if (lines > 0) std::fprintf(stdout, "\x1b[%dA\r", lines);
}

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    // Output to a terminal or pipe that has gone must not end the runs.
    ::signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return interrupted.load(); }

}  // namespace tools
