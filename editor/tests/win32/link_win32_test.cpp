// The printer link's Windows delivery against a port driver and a spooler
// of the test's own in place of the system's calls: what real drivers and
// Windows 8 and later answer, and Wine never does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "device_output_win32.hpp"
#include "vexlo_delivery.hpp"
#include "vexlo_link.hpp"
#include "vexlo_spooler_winspool.hpp"

namespace kelvane {
namespace {

HANDLE const Fake = reinterpret_cast<HANDLE>(intptr_t{0x5150});

struct Port {
    DWORD type, writeError;
    bool line, statusReadable;  // GetCommState, ClearCommError
} port;

HANDLE WINAPI PortOpen(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) { return Fake; }
DWORD WINAPI PortType(HANDLE) { return port.type; }
BOOL WINAPI PortState(HANDLE, LPDCB) { return port.line; }
BOOL WINAPI PortTimeouts(HANDLE, LPCOMMTIMEOUTS) { return TRUE; }
BOOL WINAPI PortWrite(HANDLE, LPCVOID, DWORD, LPDWORD n, LPOVERLAPPED) {
    return *n = 0, SetLastError(port.writeError), FALSE;
}
BOOL WINAPI PortStatus(HANDLE, LPDWORD, LPCOMSTAT) { return port.statusReadable; }
BOOL WINAPI PortClose(HANDLE) { return TRUE; }

// A pulled USB adapter's driver fails with one of its codes, or so that a
// line's status cannot be read either: the device went away. Other failures
// give the system's reason; a file never goes away.
TEST(DeviceOutputOnWindows, APulledAdapterIsReportedAsGone) {
    const struct {
        Port port;
        bool gone;
    } cases[] = {
        {{FILE_TYPE_CHAR, ERROR_ACCESS_DENIED, true, true}, true},
        {{FILE_TYPE_CHAR, ERROR_OPERATION_ABORTED, true, true}, true},
        {{FILE_TYPE_CHAR, ERROR_BAD_COMMAND, true, true}, true},
        {{FILE_TYPE_CHAR, ERROR_GEN_FAILURE, false, true}, true},
        {{FILE_TYPE_CHAR, ERROR_DEVICE_NOT_CONNECTED, true, true}, true},
        {{FILE_TYPE_CHAR, ERROR_COUNTER_TIMEOUT, true, false}, true},
        {{FILE_TYPE_CHAR, ERROR_COUNTER_TIMEOUT, true, true}, false},
        {{FILE_TYPE_CHAR, ERROR_COUNTER_TIMEOUT, false, false}, false},
        {{FILE_TYPE_DISK, ERROR_ACCESS_DENIED, false, false}, false},
    };
    DeviceCallTable() = {PortOpen, PortType, PortState, PortTimeouts, PortWrite, PortStatus, PortClose};
    for (const auto& c : cases) {
        SCOPED_TRACE("error " + std::to_string(c.port.writeError) + (c.port.type == FILE_TYPE_DISK ? ", a file" : ""));
        port = c.port;
        try {
            vexlo::WriteToDevice("COM7", "\x1B\x1D\x23", std::chrono::seconds(1));
            ADD_FAILURE() << "reported as sent";
        } catch (const LinkError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Only 0 of 3 bytes reached COM7: ", 0), 0u) << e.what();
            EXPECT_EQ(std::string(e.what()).find("the device went away") != std::string::npos, c.gone) << e.what();
        }
    }
    DeviceCallTable() = SystemDeviceCalls();
}

struct SpoolerSetup {
    DWORD driverAttributes;
    bool knowsDriverLevel8;  // XP does not
    bool refusesPass, refusesRaw;  // the datatypes XPS_PASS and RAW
    DWORD takesPerCall, takesInAll;  // WritePrinter's bytes at once, and in all
    DWORD status, attributes;
};
struct Spooler {
    SpoolerSetup set;
    std::wstring tried;  // the datatypes, in order
    std::string received;
    bool aborted, ended;
} spooler;

// A buffer-sizing call, answered as the spooler does.
template <typename Info>
BOOL Fill(LPBYTE buffer, DWORD size, LPDWORD needed, const Info& info) {
    *needed = sizeof info;
    if (!buffer || size < sizeof info) return SetLastError(ERROR_INSUFFICIENT_BUFFER), FALSE;
    return std::memcpy(buffer, &info, sizeof info), TRUE;
}
BOOL WINAPI Open(LPWSTR, LPHANDLE handle, LPPRINTER_DEFAULTSW) { return *handle = Fake, TRUE; }
BOOL WINAPI Driver(HANDLE, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    if (level != 8 || !spooler.set.knowsDriverLevel8) return SetLastError(ERROR_INVALID_LEVEL), FALSE;
    DRIVER_INFO_8W info{};
    info.dwPrinterDriverAttributes = spooler.set.driverAttributes;
    return Fill(buffer, size, needed, info);
}
DWORD WINAPI StartDoc(HANDLE, DWORD, LPBYTE doc) {
    const std::wstring datatype = reinterpret_cast<DOC_INFO_1W*>(doc)->pDatatype;
    spooler.tried += (spooler.tried.empty() ? L"" : L",") + datatype;
    const bool refused = datatype == L"RAW" ? spooler.set.refusesRaw : spooler.set.refusesPass;
    return refused ? SetLastError(ERROR_INVALID_DATATYPE), 0 : 7;
}
BOOL WINAPI Page(HANDLE) { return TRUE; }
BOOL WINAPI Write(HANDLE, LPVOID bytes, DWORD size, LPDWORD n) {
    const DWORD room = spooler.set.takesInAll - std::min<DWORD>(spooler.set.takesInAll, spooler.received.size());
    spooler.received.append(static_cast<const char*>(bytes), *n = std::min({size, spooler.set.takesPerCall, room}));
    return *n ? TRUE : (SetLastError(ERROR_NOT_READY), FALSE);
}
BOOL WINAPI EndDoc(HANDLE) { return spooler.ended = true; }
BOOL WINAPI Abort(HANDLE) { return spooler.aborted = true; }
BOOL WINAPI GetPrinter(HANDLE, DWORD, LPBYTE buffer, DWORD size, LPDWORD needed) {
    PRINTER_INFO_2W info{};
    info.Status = spooler.set.status;
    info.Attributes = spooler.set.attributes;
    return Fill(buffer, size, needed, info);
}

// XPS-based drivers get XPS_PASS where the system can say so, RAW when they
// refuse it; a job goes whole or is cancelled; an offline printer is
// reported as a paused queue is.
TEST(SpoolerOnWindows, DatatypesWholeJobsAndOfflinePrinters) {
    const std::string job(
        "\x1B\x1D\x23\x2C\x33\x30\x30\x30\x35\x0A\x00\x1B\x1D\x23\x54\x30\x30\x30\x30\x30\x0A\x00", 22);
    const DWORD xps = 0x2, all = ~0u;  // the driver's attribute: XPS-based
    const struct {
        SpoolerSetup set;
        std::wstring tried;
        std::string error, notice;  // how the failure begins; what the link tells besides
    } cases[] = {
        {{0, true, false, false, all, all, 0, 0}, L"RAW", "", ""},
        {{xps, true, false, false, all, all, 0, 0}, L"XPS_PASS", "", ""},
        {{xps, false, false, false, all, all, 0, 0}, L"RAW", "", ""},
        {{xps, true, true, false, all, all, 0, 0}, L"XPS_PASS,RAW", "", ""},
        {{xps, true, true, true, all, all, 0, 0}, L"XPS_PASS,RAW",
         "Printer \"Shop\" took the job neither as XPS_PASS nor as RAW data: ", ""},
        {{0, true, false, true, all, all, 0, 0}, L"RAW", "Printer \"Shop\" did not take the job as RAW data: ", ""},
        {{0, true, false, false, 5, all, 0, 0}, L"RAW", "", ""},
        {{0, true, false, false, 4, 8, 0, 0}, L"RAW", "Printer \"Shop\" took only 8 of the job's 22 bytes: ", ""},
        {{0, true, false, false, all, all, PRINTER_STATUS_PAUSED, 0}, L"RAW", "", "Printer queue \"Shop\" is paused"},
        {{0, true, false, false, all, all, PRINTER_STATUS_OFFLINE, 0}, L"RAW", "", "Printer \"Shop\" is offline"},
        {{0, true, false, false, all, all, PRINTER_STATUS_ERROR, 0}, L"RAW", "", "is offline or in error"},
        {{0, true, false, false, all, all, 0, PRINTER_ATTRIBUTE_WORK_OFFLINE}, L"RAW", "", "is offline or in error"},
    };
    vexlo::SpoolerCallTable() = {Open, Driver, StartDoc, Page, Write, Page, EndDoc, Abort, GetPrinter, Page};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tried.begin(), c.tried.end()) + " " + c.error + c.notice);
        spooler = Spooler{c.set, L"", "", false, false};
        VexloLink link("unused.ini");
        link.setDestination({LinkDestination::Kind::Spooler, "Shop"});
        link.StartJob();
        link.AddCommand(job);
        std::string error;
        try {
            link.EndJob();
        } catch (const LinkError& e) {
            error = e.what();
        }
        EXPECT_TRUE(spooler.tried == c.tried);
        EXPECT_EQ(c.error.empty() ? error : error.substr(0, c.error.size()), c.error) << error;
        // Submitted whole, or cancelled once it exists: never half a job.
        EXPECT_EQ(spooler.ended, c.error.empty());
        EXPECT_TRUE(!spooler.ended || spooler.received == job);
        EXPECT_EQ(spooler.aborted, !spooler.received.empty() && !spooler.ended);
        EXPECT_EQ(spooler.aborted, error.find(" The job was cancelled.") != std::string::npos) << error;
        EXPECT_TRUE(c.notice.empty() ? link.notice().empty() : link.notice().find(c.notice) != std::string::npos)
            << link.notice();
    }
    vexlo::SpoolerCallTable() = vexlo::SystemSpoolerCalls();
}

}  // namespace
}  // namespace kelvane
