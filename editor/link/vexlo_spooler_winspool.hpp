#pragma once
// The spooler calls a job makes, in one table: the programs use the
// system's own; a test puts a spooler of its own in their place to show
// what Wine's cannot (XPS-based drivers, an offline printer, a job cut short).
#include <windows.h>
#include <winspool.h>

namespace kelvane::vexlo {

struct SpoolerCalls {
    decltype(&OpenPrinterW) openPrinter;
    decltype(&GetPrinterDriverW) getPrinterDriver;
    decltype(&StartDocPrinterW) startDocPrinter;
    decltype(&StartPagePrinter) startPagePrinter;
    decltype(&WritePrinter) writePrinter;
    decltype(&EndPagePrinter) endPagePrinter;
    decltype(&EndDocPrinter) endDocPrinter;
    decltype(&AbortPrinter) abortPrinter;
    decltype(&GetPrinterW) getPrinter;
    decltype(&ClosePrinter) closePrinter;
};

// The table every job from now on uses.
SpoolerCalls& SpoolerCallTable();
// The system's own calls.
SpoolerCalls SystemSpoolerCalls();

}  // namespace kelvane::vexlo
