#include <windows.h>

#include <io.h>

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

void CatchInterrupt() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

bool Interrupted() { return interrupted.load(); }

}  // namespace tools
