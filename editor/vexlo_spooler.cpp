// Spooler delivery through libcups: one raw job per EndJob.
#include "vexlo_delivery.hpp"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace kelvane::vexlo {
namespace {

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpClose>;

// A connection of our own, so a spooler that is down fails here, at once,
// with the system's reason, instead of somewhere inside a request.
Http Connect(std::string* reason) {
    const char* server = cupsServer();
    errno = 0;
    http_t* http = httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                1, 5000, nullptr);
    if (!http) {
        const int err = errno;
        *reason = std::string("server ") + server + ": " +
                  (err != 0 ? std::strerror(err) : cupsLastErrorString());
    }
    return Http(http);
}

std::string Unreachable(const std::string& reason) {
    return "The print spooler is not reachable (" + reason +
           "). Check that the printing service is running, or choose a device.";
}

bool Failed(ipp_status_t status) {
    return status > IPP_STATUS_OK_CONFLICTING;
}

// The connection broke while we talked: that is the spooler, not the queue.
bool LostConnection(ipp_status_t status) {
    return status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL;
}

}  // namespace

SpoolerQueues ListSpoolerQueues() {
    SpoolerQueues result;
    std::string reason;
    Http http = Connect(&reason);
    if (!http) {
        result.error = Unreachable(reason);
        return result;
    }
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    if (count == 0 && Failed(cupsLastError())) {
        result.error = std::string("The print spooler did not list its printers: ") + cupsLastErrorString();
    }
    std::string defaultName;
    for (int i = 0; i < count; ++i) {
        if (dests[i].instance) continue;  // option sets of a queue, not queues
        if (dests[i].is_default) {
            defaultName = dests[i].name;
        } else {
            result.names.emplace_back(dests[i].name);
        }
    }
    cupsFreeDests(count, dests);
    std::sort(result.names.begin(), result.names.end());
    if (!defaultName.empty()) {
        result.names.insert(result.names.begin(), defaultName);
        result.hasDefault = true;
    }
    return result;
}

int SendToSpooler(const std::string& queue, const std::string& bytes, const std::string& title) {
    if (queue.empty()) throw LinkError("No printer is chosen in the Settings box.");
    std::string reason;
    Http http = Connect(&reason);
    if (!http) throw LinkError(Unreachable(reason));

    const int job = cupsCreateJob(http.get(), queue.c_str(), title.c_str(), 0, nullptr);
    if (job == 0) {
        const ipp_status_t status = cupsLastError();
        const std::string why = cupsLastErrorString();
        if (status == IPP_STATUS_ERROR_NOT_FOUND) {
            throw LinkError("Printer queue \"" + queue + "\" does not exist (" + why +
                            "). Choose another printer and press the refresh button.");
        }
        if (LostConnection(status)) throw LinkError(Unreachable(why));
        throw LinkError("Printer queue \"" + queue + "\" refused the job: " + why);
    }

    // Anything that fails after the job exists cancels it, so the spooler
    // never prints a part of a job.
    auto abandon = [&](const std::string& why) {
        cupsCancelJob2(http.get(), queue.c_str(), job, 0);
        return LinkError("Printer queue \"" + queue + "\" did not take the job: " + why);
    };
    if (cupsStartDocument(http.get(), queue.c_str(), job, title.c_str(), CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
        throw abandon(cupsLastErrorString());
    }
    // The length is explicit: commands carry NUL bytes.
    if (!bytes.empty() &&
        cupsWriteRequestData(http.get(), bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE) {
        cupsFinishDocument(http.get(), queue.c_str());
        throw abandon(cupsLastErrorString());
    }
    if (Failed(cupsFinishDocument(http.get(), queue.c_str()))) throw abandon(cupsLastErrorString());
    return job;
}

}  // namespace kelvane::vexlo
