#pragma once
// The calls the Windows device output makes, in one table: the programs use
// the system's own; a test puts a driver of its own in their place (the
// error codes of a pulled USB adapter).
#include <windows.h>

namespace kelvane {

struct DeviceCalls {
    decltype(&CreateFileW) createFile;
    decltype(&GetFileType) getFileType;
    decltype(&GetCommState) getCommState;
    decltype(&SetCommTimeouts) setCommTimeouts;
    decltype(&WriteFile) writeFile;
    decltype(&ClearCommError) clearCommError;
    decltype(&CloseHandle) closeHandle;
};

// The table every device opened from now on uses.
DeviceCalls& DeviceCallTable();
// The system's own calls.
DeviceCalls SystemDeviceCalls();

}  // namespace kelvane
