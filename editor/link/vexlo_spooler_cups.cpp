// Spooler delivery through libcups: one raw job per EndJob.
#include "vexlo_delivery.hpp"

#include <cups/cups.h>
#include <dlfcn.h>
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

// libcups is loaded when the spooler is first used. Linked, it would load
// with its security and network libraries at every start, before the window
// shows; a machine without it can still send to a device.
constexpr const char* CupsLibrary = "libcups.so.2";

#define KELVANE_CUPS_CALLS(X)                                                              \
    X(cupsServer) X(cupsEncryption) X(cupsSetServer) X(cupsSetEncryption) X(ippPort)        \
    X(httpConnect2) X(httpClose) X(cupsLastError) X(cupsLastErrorString) X(cupsGetDests2)   \
    X(cupsFreeDests) X(cupsGetNamedDest) X(cupsGetOption) X(cupsCreateJob) X(cupsCancelJob2) \
    X(cupsStartDocument) X(cupsWriteRequestData) X(cupsFinishDocument)

struct CupsCalls {
#define KELVANE_CUPS_MEMBER(name) decltype(&::name) name = nullptr;
    KELVANE_CUPS_CALLS(KELVANE_CUPS_MEMBER)
#undef KELVANE_CUPS_MEMBER
    std::string error;  // why they could not be had (a device still works); empty when loaded
};

CupsCalls LoadCups() {
    CupsCalls calls;
    void* library = dlopen(CupsLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        calls.error = std::string("The print spooler cannot be used: ") + (why ? why : CupsLibrary) +
                      ". Install the CUPS client library";
        return calls;
    }
#define KELVANE_CUPS_BIND(name)                                                                 \
    calls.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));                    \
    if (!calls.name && calls.error.empty())                                                     \
        calls.error = std::string("The print spooler cannot be used: ") + CupsLibrary +         \
                      " has no " #name ". Install a newer CUPS client library";
    KELVANE_CUPS_CALLS(KELVANE_CUPS_BIND)
#undef KELVANE_CUPS_BIND
    return calls;  // the library stays loaded for the program's life
}

// The calls, loaded once for all threads; a LinkError when they cannot be had.
const CupsCalls& Cups() {
    static const CupsCalls calls = LoadCups();
    if (!calls.error.empty()) throw LinkError(LinkRemedy::UseDevice, calls.error);
    return calls;
}

// Whether anything in this program has loaded libcups yet.
bool CupsLoaded() {
    void* library = dlopen(CupsLibrary, RTLD_NOW | RTLD_NOLOAD);
    if (library) dlclose(library);
    return library != nullptr;
}

struct HttpClose {
    void operator()(http_t* http) const { Cups().httpClose(http); }
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
    const CupsCalls& cups = Cups();
    const std::string server = cups.cupsServer();
    http_t* http = cups.httpConnect2(server.c_str(), cups.ippPort(), nullptr, AF_UNSPEC,
                                     cups.cupsEncryption(), 1, timeoutMs, nullptr);
    if (!http) *reason = ConnectFailure(server, cups.ippPort());
    return Http(http);
}

LinkError Unreachable(const std::string& reason) {
    return LinkError(LinkRemedy::UseDevice, "The print spooler is not reachable (" + reason +
                                                "). Check that the printing service is running");
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
    const CupsCalls* loaded = nullptr;
    try {
        loaded = &Cups();
    } catch (const LinkError& e) {
        result.error = e.what();
        return result;
    }
    const CupsCalls& cups = *loaded;
    std::string reason;
    // Short: the list is read while the window opens.
    Http http = Connect(&reason, 2000);
    if (!http) {
        result.error = Unreachable(reason).what();
        return result;
    }
    cups_dest_t* dests = nullptr;
    const int count = cups.cupsGetDests2(http.get(), &dests);
    if (count == 0 && Failed(cups.cupsLastError())) {
        result.error = std::string("The print spooler did not list its printers: ") + cups.cupsLastErrorString();
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
    cups.cupsFreeDests(count, dests);
    std::sort(result.names.begin(), result.names.end());
    if (!defaultName.empty()) {
        result.names.insert(result.names.begin(), defaultName);
        result.hasDefault = true;
    }
    return result;
}

std::function<SpoolerQueues()> SpoolerQueueLister() {
    // Only a thread that has used libcups can have chosen another spooler.
    if (!CupsLoaded()) return ListSpoolerQueues;
    const CupsCalls& cups = Cups();
    const std::string server = cups.cupsServer();
    const http_encryption_t encryption = cups.cupsEncryption();
    return [&cups, server, encryption] {
        cups.cupsSetServer(server.c_str());
        cups.cupsSetEncryption(encryption);
        return ListSpoolerQueues();
    };
}

std::string PausedQueueNotice(const std::string& queue) {
    return "Printer queue \"" + queue + "\" is paused: the job waits there until the queue is resumed.";
}

SpoolerJob SendToSpooler(const std::string& queue, const std::string& bytes, const std::string& title) {
    if (queue.empty()) throw LinkError(LinkRemedy::ChoosePrinter, "No printer is chosen");
    const CupsCalls& cups = Cups();
    std::string reason;
    Http http = Connect(&reason, 5000);
    if (!http) throw Unreachable(reason);

    // Asked first: a job for a missing queue fails inside libcups with a
    // reason that does not say so.
    cups_dest_t* dest = cups.cupsGetNamedDest(http.get(), queue.c_str(), nullptr);
    if (!dest) {
        const ipp_status_t status = cups.cupsLastError();
        const std::string why = cups.cupsLastErrorString();
        if (status == IPP_STATUS_ERROR_NOT_FOUND) {
            throw LinkError(LinkRemedy::RefreshPrinters, "Printer queue \"" + queue + "\" does not exist (" + why + ")");
        }
        if (LostConnection(status)) throw Unreachable(why);
        throw LinkError("Printer queue \"" + queue + "\" cannot be used: " + why);
    }
    // IPP printer-state 5: stopped. The queue still takes jobs and holds them.
    const char* state = cups.cupsGetOption("printer-state", dest->num_options, dest->options);
    SpoolerJob result;
    result.queuePaused = state && std::strcmp(state, "5") == 0;
    cups.cupsFreeDests(1, dest);

    const int job = cups.cupsCreateJob(http.get(), queue.c_str(), title.c_str(), 0, nullptr);
    if (job == 0) {
        const ipp_status_t status = cups.cupsLastError();
        const std::string why = cups.cupsLastErrorString();
        if (LostConnection(status)) throw Unreachable(why);
        throw LinkError("Printer queue \"" + queue + "\" refused the job: " + why);
    }

    // Anything that fails after the job exists cancels it, so the spooler
    // never prints a part of a job.
    auto abandon = [&](const std::string& why) {
        cups.cupsCancelJob2(http.get(), queue.c_str(), job, 0);
        return LinkError("Printer queue \"" + queue + "\" did not take the job: " + why);
    };
    if (cups.cupsStartDocument(http.get(), queue.c_str(), job, title.c_str(), CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
        throw abandon(cups.cupsLastErrorString());
    }
    // The length is explicit: commands carry NUL bytes.
    if (!bytes.empty() &&
        cups.cupsWriteRequestData(http.get(), bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE) {
        cups.cupsFinishDocument(http.get(), queue.c_str());
        throw abandon(cups.cupsLastErrorString());
    }
    if (Failed(cups.cupsFinishDocument(http.get(), queue.c_str()))) throw abandon(cups.cupsLastErrorString());
    result.id = job;
    return result;
}

}  // namespace kelvane::vexlo
