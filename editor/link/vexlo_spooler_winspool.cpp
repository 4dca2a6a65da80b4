// The Windows spooler: the printers it lists, and a job as one document of
// the printer's own bytes.
#include "vexlo_spooler_winspool.hpp"

#include <algorithm>
#include <vector>

#include "utf16_win32.hpp"
#include "vexlo_delivery.hpp"

namespace kelvane::vexlo {
namespace {

// Not in every SDK's headers. DRIVER_INFO_8: an XPS-based driver.
constexpr DWORD DriverXps = 0x00000002;
// PRINTER_INFO_2 on Windows 8 and later: the print server is offline.
constexpr DWORD StatusServerOffline = 0x02000000;
// A printer that is off or in error: its jobs wait in the queue.
constexpr DWORD StatusOffline =
    PRINTER_STATUS_OFFLINE | PRINTER_STATUS_ERROR | PRINTER_STATUS_NOT_AVAILABLE | StatusServerOffline;

std::string SystemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = length && text ? Narrow(std::wstring(text, length)) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

class Printer {
public:
    explicit Printer(const std::string& name) {
        std::wstring wide = Widen(name);
        if (!SpoolerCallTable().openPrinter(wide.data(), &handle_, nullptr)) handle_ = nullptr;
    }
    ~Printer() {
        if (handle_) SpoolerCallTable().closePrinter(handle_);
    }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

// What GetPrinterDriverW or GetPrinterW fills in, or nothing.
template <typename Call>
std::vector<BYTE> Info(Call call) {
    DWORD needed = 0;
    call(nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    if (needed == 0 || !call(info.data(), needed, &needed)) info.clear();
    return info;
}

// Where the system can say so: Vista and later know level 8, XP does not.
bool DriverIsXpsBased(HANDLE printer) {
    const std::vector<BYTE> info = Info([&](BYTE* buffer, DWORD size, DWORD* needed) {
        return SpoolerCallTable().getPrinterDriver(printer, nullptr, 8, buffer, size, needed);
    });
    return !info.empty() &&
           (reinterpret_cast<const DRIVER_INFO_8W*>(info.data())->dwPrinterDriverAttributes & DriverXps) != 0;
}

}  // namespace

SpoolerCalls SystemSpoolerCalls() {
    return {OpenPrinterW,   GetPrinterDriverW, StartDocPrinterW, StartPagePrinter, WritePrinter,
            EndPagePrinter, EndDocPrinter,     AbortPrinter,     GetPrinterW,      ClosePrinter};
}

SpoolerCalls& SpoolerCallTable() {
    static SpoolerCalls calls = SystemSpoolerCalls();
    return calls;
}

SpoolerQueues ListSpoolerQueues() {
    SpoolerQueues out;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) {
        if (needed != 0) out.error = "The printers cannot be listed: " + SystemText(GetLastError()) + ".";
        count = 0;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pPrinterName) out.names.push_back(Narrow(info[i].pPrinterName));
    }
    std::sort(out.names.begin(), out.names.end());
    wchar_t wide[512] = {};
    DWORD size = sizeof wide / sizeof wide[0];
    if (GetDefaultPrinterW(wide, &size)) {
        const std::string name = Narrow(wide);
        const auto at = std::find(out.names.begin(), out.names.end(), name);
        if (at != out.names.end()) out.names.erase(at);
        out.names.insert(out.names.begin(), name);
        out.hasDefault = true;
    }
    return out;
}

std::function<SpoolerQueues()> SpoolerQueueLister() { return ListSpoolerQueues; }

std::string PausedQueueNotice(const std::string& queue) {
    return "Printer queue \"" + queue + "\" is paused: the job waits there until the queue is resumed.";
}

SpoolerJob SendToSpooler(const std::string& queue, const std::string& bytes, const std::string& title) {
    if (queue.empty()) throw LinkError(LinkRemedy::ChoosePrinter, "No printer is chosen");
    const SpoolerCalls& call = SpoolerCallTable();
    Printer printer(queue);
    const auto failure = [&](const std::string& what, DWORD error) {
        return "Printer \"" + queue + "\" " + what + (error ? ": " + SystemText(error) : "") + ".";
    };
    if (!printer.get()) throw LinkError(failure("cannot be opened", GetLastError()));

    // An XPS-based driver (Windows 8 and later install them for many
    // printers) refuses or mangles RAW data; it passes XPS_PASS on unchanged.
    // A spooler that does not know XPS_PASS after all gets RAW.
    const bool xps = DriverIsXpsBased(printer.get());
    std::wstring name = Widen(title);
    wchar_t raw[] = L"RAW", pass[] = L"XPS_PASS";
    DOC_INFO_1W doc{};
    doc.pDocName = name.data();
    doc.pDatatype = xps ? pass : raw;
    DWORD job = call.startDocPrinter(printer.get(), 1, reinterpret_cast<BYTE*>(&doc));
    if (job == 0 && xps) {
        doc.pDatatype = raw;
        job = call.startDocPrinter(printer.get(), 1, reinterpret_cast<BYTE*>(&doc));
    }
    if (job == 0) {
        throw LinkError(failure(xps ? "took the job neither as XPS_PASS nor as RAW data"
                                    : "did not take the job as RAW data",
                                GetLastError()));
    }

    // Part of a job never reaches the printer: what did not go in whole is
    // cancelled, not submitted.
    const auto cancelled = [&](const std::string& what) {
        const std::string text = failure(what, GetLastError());
        call.abortPrinter(printer.get());
        return LinkError(text + " The job was cancelled.");
    };
    if (!call.startPagePrinter(printer.get())) throw cancelled("did not take the job");
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        DWORD written = 0;
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - sent, 1 << 20));
        SetLastError(ERROR_SUCCESS);
        if (!call.writePrinter(printer.get(), const_cast<char*>(bytes.data()) + sent, ask, &written) || written == 0)
            break;
        sent += written;
    }
    if (sent < bytes.size())
        throw cancelled("took only " + std::to_string(sent) + " of the job's " + std::to_string(bytes.size()) +
                        " bytes");
    call.endPagePrinter(printer.get());
    if (!call.endDocPrinter(printer.get())) throw LinkError(failure("refused the job", GetLastError()));

    SpoolerJob result;
    result.id = static_cast<int>(job);
    const std::vector<BYTE> info = Info([&](BYTE* buffer, DWORD size, DWORD* needed) {
        return call.getPrinter(printer.get(), 2, buffer, size, needed);
    });
    if (!info.empty()) {
        const auto* state = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
        result.queuePaused = (state->Status & PRINTER_STATUS_PAUSED) != 0;
        result.printerOffline =
            (state->Status & StatusOffline) != 0 || (state->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0;
    }
    return result;
}

}  // namespace kelvane::vexlo
