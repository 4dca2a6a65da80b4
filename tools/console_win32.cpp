#include <windows.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "console.hpp"

namespace tools {

namespace {
std::atomic<bool> interrupted{false};

BOOL WINAPI OnControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT || type == CTRL_CLOSE_EVENT) {
        interrupted.store(true);
        return TRUE;
    }
    return FALSE;
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

void CatchInterrupt() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

bool Interrupted() { return interrupted.load(); }

}  // namespace tools
