#pragma once
// The communications calls the Windows port makes, in one table: the
// programs use the system's own; a test puts a driver of its own in their
// place (a pulled adapter's error codes, the line state a driver keeps).
#include <windows.h>

namespace quarveld {

struct CommCalls {
    decltype(&CreateFileW) createFile;
    decltype(&SetupComm) setupComm;
    decltype(&GetCommState) getCommState;
    decltype(&SetCommState) setCommState;
    decltype(&SetCommTimeouts) setCommTimeouts;
    decltype(&PurgeComm) purgeComm;
    decltype(&WriteFile) writeFile;
    decltype(&ReadFile) readFile;
    decltype(&ClearCommError) clearCommError;
    decltype(&CloseHandle) closeHandle;
};

// The table every port opened from now on uses.
CommCalls& Comm();
// The system's own calls.
CommCalls SystemComm();

}  // namespace quarveld
