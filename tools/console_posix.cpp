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

void CursorUp(int lines) {
    if (lines > 0) std::fprintf(stdout, "\x1b[%dA\r", lines);
}

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() { return interrupted.load(); }

}  // namespace tools
