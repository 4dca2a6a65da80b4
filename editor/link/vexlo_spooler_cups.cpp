// Spooler delivery through libcups: one raw job per EndJob.
#include "vexlo_delivery.hpp"

#include <cups/cups.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// libcups reports every failed connect as "host is down"; find the real
// reason so the user knows whether the service is missing or refusing.
std::string ConnectFailure(const std::string& server, int port) {
    if (!server.empty() && server[0] == '/') {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, server.c_str(), sizeof addr.sun_path - 1);
        const int rc = fd < 0 ? -1 : connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        const int err = errno;
        if (fd >= 0) close(fd);
        return "server " + server + ": " + (rc == 0 ? "it does not answer" : std::strerror(err));
    }
    const std::string where = "server " + server + ":" + std::to_string(port);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(server.c_str(), nullptr, &hints, &found);
    if (rc != 0) return where + ": " + gai_strerror(rc);
    freeaddrinfo(found);
    return where + ": no answer";
}

// A connection of our own, so a spooler that is down fails here, at once,
// instead of somewhere inside a request.
Http Connect(std::string* reason, int timeoutMs) {
    const std::string server = cupsServer();
    http_t* http = httpConnect2(server.c_str(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                1, timeoutMs, nullptr);
    if (!http) *reason = ConnectFailure(server, ippPort());
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
    // Short: the list is read while the window opens.
    Http http = Connect(&reason, 2000);
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

std::function<SpoolerQueues()> SpoolerQueueLister() {
    const std::string server = cupsServer();
    const http_encryption_t encryption = cupsEncryption();
    return [server, encryption] {
        cupsSetServer(server.c_str());
        cupsSetEncryption(encryption);
        return ListSpoolerQueues();
    };
}

std::string PausedQueueNotice(const std::string& queue) {
    return "Printer queue \"" + queue + "\" is paused: the job waits there until the queue is resumed.";
}

SpoolerJob SendToSpooler(const std::string& queue, const std::string& bytes, const std::string& title) {
    if (queue.empty()) throw LinkError("No printer is chosen in the Settings box.");
    std::string reason;
    Http http = Connect(&reason, 5000);
    if (!http) throw LinkError(Unreachable(reason));

    // Asked first: a job for a missing queue fails inside libcups with a
    // reason that does not say so.
    cups_dest_t* dest = cupsGetNamedDest(http.get(), queue.c_str(), nullptr);
    if (!dest) {
        const ipp_status_t status = cupsLastError();
        const std::string why = cupsLastErrorString();
        if (status == IPP_STATUS_ERROR_NOT_FOUND) {
            throw LinkError("Printer queue \"" + queue + "\" does not exist (" + why +
                            ") Choose another printer and press the refresh button.");
        }
        if (LostConnection(status)) throw LinkError(Unreachable(why));
        throw LinkError("Printer queue \"" + queue + "\" cannot be used: " + why);
    }
    // IPP printer-state 5: stopped. The queue still takes jobs and holds them.
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    SpoolerJob result;
    result.queuePaused = state && std::strcmp(state, "5") == 0;
    cupsFreeDests(1, dest);

    const int job = cupsCreateJob(http.get(), queue.c_str(), title.c_str(), 0, nullptr);
    if (job == 0) {
        const ipp_status_t status = cupsLastError();
        const std::string why = cupsLastErrorString();
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
    result.id = job;
    return result;
}

}  // namespace kelvane::vexlo
