// The Windows port against a driver of the test's own in place of the
// system's communications calls: what real serial drivers answer and Wine's
// ports never do.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "port_platform.hpp"
#include "port_win32.hpp"

namespace quarveld {
namespace {

struct Driver {
    DCB held{}, set{};           // what GetCommState gives, what SetCommState got
    DWORD ioError = 0;           // every read and write fails so, when not 0
    bool statusReadable = true;  // ClearCommError
} driver;

BOOL Fails(DWORD error) {
    SetLastError(error);
    return error == 0;
}
HANDLE WINAPI Open(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return reinterpret_cast<HANDLE>(intptr_t{0x5150});
}
BOOL WINAPI Done(HANDLE) { return TRUE; }
BOOL WINAPI Queues(HANDLE, DWORD, DWORD) { return TRUE; }
BOOL WINAPI GetState(HANDLE, LPDCB dcb) { return *dcb = driver.held, TRUE; }
BOOL WINAPI SetState(HANDLE, LPDCB dcb) { return driver.set = *dcb, TRUE; }
BOOL WINAPI Timeouts(HANDLE, LPCOMMTIMEOUTS) { return TRUE; }
BOOL WINAPI Purge(HANDLE, DWORD) { return TRUE; }
BOOL WINAPI Write(HANDLE, LPCVOID, DWORD, LPDWORD n, LPOVERLAPPED) { return *n = 0, Fails(driver.ioError); }
BOOL WINAPI Read(HANDLE, LPVOID, DWORD, LPDWORD n, LPOVERLAPPED) { return *n = 0, Fails(driver.ioError); }
BOOL WINAPI Status(HANDLE, LPDWORD, LPCOMSTAT) { return Fails(driver.statusReadable ? 0 : ERROR_GEN_FAILURE); }

class WithDriver : public ::testing::Test {
protected:
    void SetUp() override {
        driver = Driver{};
        Comm() = {Open, Queues, GetState, SetState, Timeouts, Purge, Write, Read, Status, Done};
    }
    void TearDown() override { Comm() = SystemComm(); }
};

// The line gets what it needs; the rest stays as the driver had it: the
// flow-control characters (some drivers refuse XON equal to XOFF), limits
// and reserved bits.
TEST_F(WithDriver, TheLineChangesOnlyWhatItNeeds) {
    DCB& held = driver.held;
    held.DCBlength = sizeof held;
    held.BaudRate = 115200;
    held.fOutX = held.fInX = held.fOutxCtsFlow = held.fAbortOnError = 1;
    held.fRtsControl = RTS_CONTROL_HANDSHAKE;
    held.XonChar = 0x11, held.XoffChar = 0x13, held.ErrorChar = 0x3F, held.EofChar = 0x1A, held.EvtChar = 0x7E;
    held.XonLim = 2048, held.XoffLim = 512, held.fDummy2 = 0x1234, held.wReserved1 = 0x55;
    std::string why;
    ASSERT_NE(OpenSerialDevice("\\\\.\\COM10", LineParametersFor({ID_19200, ID_7BIT, ID_EVEN, ID_COM1}), why), nullptr)
        << why;
    DCB expected = held;
    expected.BaudRate = 19200, expected.ByteSize = 7, expected.Parity = EVENPARITY, expected.StopBits = ONESTOPBIT;
    expected.fBinary = 1, expected.fParity = 0, expected.fOutX = expected.fInX = 0;
    expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = expected.fAbortOnError = 0;
    expected.fTXContinueOnXoff = 1, expected.fErrorChar = expected.fNull = 0;
    expected.fDtrControl = DTR_CONTROL_ENABLE, expected.fRtsControl = RTS_CONTROL_ENABLE;
    EXPECT_EQ(std::memcmp(&driver.set, &expected, sizeof expected), 0);
    EXPECT_EQ(driver.set.XonChar, 0x11) << "and XOFF " << int(driver.set.XoffChar);
}

// A pulled USB adapter's codes end the run, and so does any failure after
// which a serial line's status cannot be read; other failures are tried
// again. A parallel port has no line status to ask.
TEST_F(WithDriver, APulledAdapterIsGoneAndOtherFailuresPass) {
    const struct {
        DWORD error;
        bool statusReadable, parallel;
        IoStatus expected;
    } cases[] = {
        {ERROR_ACCESS_DENIED, true, false, IoStatus::Gone},
        {ERROR_OPERATION_ABORTED, true, false, IoStatus::Gone},
        {ERROR_BAD_COMMAND, true, false, IoStatus::Gone},
        {ERROR_GEN_FAILURE, true, true, IoStatus::Gone},
        {ERROR_DEVICE_NOT_CONNECTED, true, false, IoStatus::Gone},
        {ERROR_COUNTER_TIMEOUT, false, false, IoStatus::Gone},
        {ERROR_COUNTER_TIMEOUT, true, false, IoStatus::Failed},
        {ERROR_COUNTER_TIMEOUT, false, true, IoStatus::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("error " + std::to_string(c.error) + (c.parallel ? ", parallel" : ""));
        driver.ioError = c.error;
        driver.statusReadable = c.statusReadable;
        std::string why;
        auto port = c.parallel ? OpenParallelDevice("LPT1", why) : OpenSerialDevice("COM1", LineParameters{}, why);
        ASSERT_NE(port, nullptr) << why;
        const uint8_t frame[] = {0x02, 0x00, 0x03};
        IoStatus status = IoStatus::Ok;
        EXPECT_EQ(port->Write(frame, sizeof frame, status), 0u);
        EXPECT_EQ(status, c.expected);
        uint8_t answer = 0;
        EXPECT_EQ(port->ReadByte(answer), c.expected);
    }
}

}  // namespace
}  // namespace quarveld
