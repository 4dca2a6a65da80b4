#pragma once
// Delivery of a finished job: to a spooler queue, to a device or file path,
// or into an output file that is replaced as a whole. No windows here; every
// failure raises LinkError with what failed, where, and what to do about it.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "printer_link.hpp"

namespace kelvane::vexlo {

// --- spooler ---------------------------------------------------------------

struct SpoolerQueues {
    std::vector<std::string> names;  // the default queue first, then by name
    bool hasDefault = false;         // names.front() is the spooler's default
    std::string error;               // set when the spooler could not be asked
};

// Asks the spooler (the server libcups is set to) for its queues.
SpoolerQueues ListSpoolerQueues();

// ListSpoolerQueues for another thread: the spooler is the one this thread
// is set to now (a thread of its own would otherwise ask another one).
std::function<SpoolerQueues()> SpoolerQueueLister();

// A job the spooler took.
struct SpoolerJob {
    int id = 0;
    // The queue is stopped: the job waits there until it is resumed. Not a
    // failure, but the user must hear of it.
    bool queuePaused = false;
    // The printer is off or in error (Windows says "offline"): the same.
    bool printerOffline = false;
};

// Sends `bytes` as one raw job to `queue`.
SpoolerJob SendToSpooler(const std::string& queue, const std::string& bytes, const std::string& title);

// What the user is told after a job went to a paused queue.
std::string PausedQueueNotice(const std::string& queue);
// And after a job went to a printer that is offline.
inline std::string OfflinePrinterNotice(const std::string& queue) {
    return "Printer \"" + queue + "\" is offline or in error: the job waits in its queue until the printer is "
           "switched on and ready.";
}

// --- devices and files -----------------------------------------------------

// Printer and serial devices present on this machine, in a stable order:
// USB printers, parallel ports, USB serial adapters, serial ports.
std::vector<std::string> ListDevices();

// Opens `path` for writing, writes `bytes` in order and closes it. A terminal
// is switched to raw output first so LF is not turned into CR LF. A regular
// file gets the job appended, as a printer receives every job; paths under
// /dev are never created. A port's name (COM1, com10:, LPT2) opens that port
// (ReadPortDevice), never a file. `stallTimeout` bounds the wait for a device that
// takes no more bytes.
void WriteToDevice(const std::string& path, const std::string& bytes,
                   std::chrono::milliseconds stallTimeout = std::chrono::seconds(20));

// Replaces `path` with exactly `bytes`: a temporary file in the same folder,
// flushed to disk, then renamed over it. On failure the old file is untouched
// and no temporary file is left behind.
void ReplaceFile(const std::string& path, const std::string& bytes);

// The failure of a device that could not be opened with errno `err`; for a
// permission problem it names the group that owns the device. `label` names
// it to the user: the path, or the port that leads there ("COM3 (/dev/ttyUSB0)").
LinkError OpenFailure(const std::string& path, int err, const std::string& label);

}  // namespace kelvane::vexlo
