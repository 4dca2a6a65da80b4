// The Windows spooler: the printers it lists, and a job as one raw document.
#include "vexlo_delivery.hpp"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <vector>

namespace kelvane::vexlo {
namespace {

std::string SystemText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = length && text ? std::string(text, length) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

class Printer {
public:
    explicit Printer(const std::string& name) {
        if (!OpenPrinterA(const_cast<char*>(name.c_str()), &handle_, nullptr)) handle_ = nullptr;
    }
    ~Printer() {
        if (handle_) ClosePrinter(handle_);
    }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace

SpoolerQueues ListSpoolerQueues() {
    SpoolerQueues out;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0, count = 0;
    EnumPrintersA(flags, nullptr, 4, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPrintersA(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) {
        if (needed != 0) out.error = "The printers cannot be listed: " + SystemText(GetLastError()) + ".";
        count = 0;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pPrinterName) out.names.emplace_back(info[i].pPrinterName);
    }
    std::sort(out.names.begin(), out.names.end());
    char name[512] = {};
    DWORD size = sizeof name;
    if (GetDefaultPrinterA(name, &size)) {
        const auto at = std::find(out.names.begin(), out.names.end(), std::string(name));
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
    Printer printer(queue);
    const auto failure = [&](const char* what) {
        return LinkError("Printer \"" + queue + "\" " + what + ": " + SystemText(GetLastError()) + ".");
    };
    if (!printer.get()) throw failure("cannot be opened");
    DOC_INFO_1A doc{};
    doc.pDocName = const_cast<char*>(title.c_str());
    doc.pDatatype = const_cast<char*>("RAW");
    const DWORD job = StartDocPrinterA(printer.get(), 1, reinterpret_cast<BYTE*>(&doc));
    if (job == 0) throw failure("did not take the job");
    if (!StartPagePrinter(printer.get())) {
        EndDocPrinter(printer.get());
        throw failure("did not take the job");
    }
    DWORD written = 0;
    const bool all = bytes.empty() || (WritePrinter(printer.get(), const_cast<char*>(bytes.data()),
                                                    static_cast<DWORD>(bytes.size()), &written) &&
                                       written == bytes.size());
    if (!all) {
        const LinkError error = failure("took only part of the job");
        EndPagePrinter(printer.get());
        EndDocPrinter(printer.get());
        throw error;
    }
    EndPagePrinter(printer.get());
    if (!EndDocPrinter(printer.get())) throw failure("refused the job");

    SpoolerJob result;
    result.id = static_cast<int>(job);
    DWORD needed = 0;
    GetPrinterA(printer.get(), 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed ? needed : 1);
    if (needed && GetPrinterA(printer.get(), 2, info.data(), needed, &needed)) {
        result.queuePaused = (reinterpret_cast<const PRINTER_INFO_2A*>(info.data())->Status & PRINTER_STATUS_PAUSED) != 0;
    }
    return result;
}

}  // namespace kelvane::vexlo
