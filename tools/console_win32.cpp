#include <windows.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "console.hpp"

namespace tools {

namespace {
std::atomic<bool> interrupted{false};

// Windows ends the process as soon as the handler returns from a closed
// console, a log-off or a shut-down, and allows about 5 s before it ends it
// anyway. The handler therefore holds on while the main thread stops the
// runs, records them and closes the ports, until the program's end (its
// exit handlers) says it is done.
constexpr DWORD EndingAllowedMs = 10000;
HANDLE finished = nullptr;

void MarkFinished() { ::SetEvent(finished); }

BOOL WINAPI OnControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        interrupted.store(true);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        interrupted.store(true);
        ::WaitForSingleObject(finished, EndingAllowedMs);
        return TRUE;
    default:
        return FALSE;
    }
}
}  // namespace

bool StdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

int TerminalRows() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 24;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    return rows > 0 ? rows : 24;
}

// The console is moved through its own functions: older ones take no
// escape sequences.
void CursorUp(int lines) {
    std::fflush(stdout);
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (lines <= 0 || !::GetConsoleScreenBufferInfo(out, &info)) return;
    COORD to{0, static_cast<SHORT>(std::max(0, info.dwCursorPosition.Y - lines))};
    ::SetConsoleCursorPosition(out, to);
}

void CatchInterrupt() {
    finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atexit(MarkFinished);
    ::SetConsoleCtrlHandler(OnControl, TRUE);
}

bool Interrupted() { return interrupted.load(); }

}  // namespace tools
