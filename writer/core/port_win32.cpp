// COM1, COM2 and LPT1 through the system's communications functions.
#include <windows.h>

#include <string>

#include "port_platform.hpp"
#include "port_win32.hpp"
#include "utf16_win32.hpp"

namespace quarveld {
namespace {

// The system's text for an error code, on one line.
std::string SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string why = n ? Narrow(std::wstring(text, n)) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ' || why.back() == '.'))
        why.pop_back();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        why += "; the port may be in use by another program";
    return why;
}

// Errors after which the device is not coming back: a USB adapter pulled
// out (its drivers then fail every call with access denied, aborted, bad
// command, general failure or not connected), a line hung up.
bool DeviceGone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_OPERATION_ABORTED:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_INVALID_HANDLE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_REMOVED:
        case ERROR_FILE_NOT_FOUND:
            return true;
        default:
            return false;
    }
}

class Win32Port final : public WritePort {
public:
    Win32Port(HANDLE handle, bool serial) : handle_(handle), serial_(serial) {}
    ~Win32Port() override { Comm().closeHandle(handle_); }
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;

    std::size_t Write(const uint8_t* bytes, std::size_t length, IoStatus& status) override {
        DWORD written = 0;
        if (!Comm().writeFile(handle_, bytes, static_cast<DWORD>(length), &written, nullptr)) {
            status = FailureStatus(GetLastError());
            // A failed call returns at once; wait as long as a write may take,
            // so that a caller repeating it does not spin.
            if (status == IoStatus::Failed)
                Sleep(WriteTimeoutConstantMs + WriteTimeoutPerByteMs * static_cast<DWORD>(length));
            return written;
        }
        status = written == length ? IoStatus::Ok : IoStatus::TimedOut;
        return written;
    }

    IoStatus ReadByte(uint8_t& byte) override {
        DWORD got = 0;
        if (!Comm().readFile(handle_, &byte, 1, &got, nullptr)) {
            const IoStatus status = FailureStatus(GetLastError());
            if (status == IoStatus::Failed) Sleep(ReadTimeoutMs);
            return status;
        }
        return got == 1 ? IoStatus::Ok : IoStatus::TimedOut;
    }

private:
    // A serial line whose status cannot be read either is gone, whatever
    // the failed call said; reading it also clears a line error that would
    // hold up the next call.
    IoStatus FailureStatus(DWORD error) const {
        if (DeviceGone(error)) return IoStatus::Gone;
        DWORD lineErrors = 0;
        COMSTAT state{};
        if (serial_ && !Comm().clearCommError(handle_, &lineErrors, &state)) return IoStatus::Gone;
        return IoStatus::Failed;
    }

    HANDLE handle_;
    bool serial_;
};

HANDLE OpenDevice(const std::string& name, std::string& why) {
    const HANDLE handle = Comm().createFile(Widen(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) why = SystemText(GetLastError());
    return handle;
}

bool SetTimeouts(HANDLE handle) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = ReadTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = WriteTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = WriteTimeoutConstantMs;
    return Comm().setCommTimeouts(handle, &timeouts) != 0;
}

// A serial line that cannot be set up is no use: its reason, and the device closed.
std::unique_ptr<WritePort> LineSetUpFailure(HANDLE handle, std::string& why) {
    why = LineSetUpFailed + SystemText(GetLastError());
    Comm().closeHandle(handle);
    return nullptr;
}

}  // namespace

CommCalls SystemComm() {
    return {CreateFileW, SetupComm, GetCommState, SetCommState, SetCommTimeouts,
            PurgeComm,   WriteFile, ReadFile,     ClearCommError, CloseHandle};
}

CommCalls& Comm() {
    static CommCalls calls = SystemComm();
    return calls;
}

std::unique_ptr<WritePort> OpenSerialDevice(const std::string& path, const LineParameters& line,
                                            std::string& why) {
    const HANDLE handle = OpenDevice(path, why);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;

    Comm().setupComm(handle, 256, 256);
    // Only the fields the line needs change; the rest stay as the device
    // has them: the flow-control characters and limits too, which mean
    // nothing without flow control but which some drivers check (XON must
    // differ from XOFF).
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!Comm().getCommState(handle, &dcb)) return LineSetUpFailure(handle, why);
    dcb.BaudRate = static_cast<DWORD>(line.baudRate);
    dcb.ByteSize = static_cast<BYTE>(line.dataBits);
    dcb.Parity = line.parity == ParityMode::Odd ? ODDPARITY : line.parity == ParityMode::Even ? EVENPARITY : NOPARITY;
    dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = line.checkParity ? 1 : 0;
    dcb.fOutxCtsFlow = line.hardwareFlow ? 1 : 0;
    dcb.fOutxDsrFlow = line.hardwareFlow ? 1 : 0;
    dcb.fDtrControl = line.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = line.softwareFlow ? 1 : 0;
    dcb.fInX = line.softwareFlow ? 1 : 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = line.rtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    // Without the time-outs a read could wait for ever.
    if (!Comm().setCommState(handle, &dcb) || !SetTimeouts(handle)) return LineSetUpFailure(handle, why);
    Comm().purgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    return std::make_unique<Win32Port>(handle, true);
}

std::unique_ptr<WritePort> OpenParallelDevice(const std::string& path, std::string& why) {
    const HANDLE handle = OpenDevice(path, why);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    // No line here; a device that takes no time-outs (a file) still takes the bytes.
    SetTimeouts(handle);
    return std::make_unique<Win32Port>(handle, false);
}

}  // namespace quarveld
