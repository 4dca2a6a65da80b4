#include "vexlo_link.hpp"

#include <exception>
#include <filesystem>

#include "editor_paths.hpp"
#include "ini_store.hpp"

namespace kelvane {
namespace {

const char* const JobTitle = "Kelvane2 memory switches";

const char* KindText(LinkDestination::Kind kind) {
    switch (kind) {
    case LinkDestination::Kind::Spooler: return "printer";
    case LinkDestination::Kind::Device: return "device";
    case LinkDestination::Kind::None: break;
    }
    return "none";
}

}  // namespace

LinkDestination PreselectedDestination(const vexlo::SpoolerQueues& queues) {
    if (queues.hasDefault || queues.names.size() == 1) {
        return {LinkDestination::Kind::Spooler, queues.names.front()};
    }
    return {};
}

VexloLink::VexloLink(std::string settingsPath) : settingsPath_(std::move(settingsPath)) {}

std::string VexloLink::DefaultSettingsPath() {
    return ConfigFolder() + "VexloComm.ini";
}

std::string VexloLink::SectionFor(const std::string& name) {
    if (name.empty()) return "%";  // cannot come out of the encoding
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

void VexloLink::changed() {
    if (onChange_) onChange_();
}

// --- where jobs go ---------------------------------------------------------

LinkDestination VexloLink::destination() const {
    if (use_ == LinkDestination::Kind::Spooler && !printer_.empty()) return {use_, printer_};
    if (use_ == LinkDestination::Kind::Device && !device_.empty()) return {use_, device_};
    return {};
}

void VexloLink::choose(LinkDestination::Kind use, const std::string& printer, const std::string& device) {
    use_ = use;
    printer_ = printer;
    device_ = device;
    chosen_ = true;
    changed();
}

void VexloLink::setDestination(const LinkDestination& destination) {
    switch (destination.kind) {
    case LinkDestination::Kind::Spooler: choose(destination.kind, destination.name, device_); break;
    case LinkDestination::Kind::Device: choose(destination.kind, printer_, destination.name); break;
    case LinkDestination::Kind::None: choose(destination.kind, printer_, device_); break;
    }
}

void VexloLink::setQueues(const vexlo::SpoolerQueues& queues) {
    queues_ = queues;
    if (!chosen_) {
        const LinkDestination pre = PreselectedDestination(queues_);
        use_ = pre.kind;
        if (!pre.name.empty()) printer_ = pre.name;
    }
    if (printer_.empty() && !queues_.names.empty()) printer_ = queues_.names.front();
    changed();
}

std::string VexloLink::nextJobText() const {
    if (outputToFile_) {
        return outputFileName_.empty() ? "Next job: to a file (no file name given)"
                                       : "Next job: file " + outputFileName_;
    }
    const LinkDestination dest = destination();
    switch (dest.kind) {
    case LinkDestination::Kind::Spooler: return "Next job: printer \"" + dest.name + "\"";
    case LinkDestination::Kind::Device: return "Next job: " + dest.name;
    case LinkDestination::Kind::None: break;
    }
    return "No printer or device is chosen.";
}

// --- jobs ------------------------------------------------------------------

void VexloLink::StartJob() {
    // An unfinished job is dropped: it was never meant to reach the printer.
    job_.clear();
    jobOpen_ = true;
    notice_.clear();
}

void VexloLink::AddCommand(const std::string& command) {
    if (!jobOpen_) throw LinkError("A command was added while no print job was started.");
    job_ += command;
}

void VexloLink::EndJob() {
    if (!jobOpen_) throw LinkError("A print job was ended that was never started.");
    std::string bytes;
    bytes.swap(job_);
    jobOpen_ = false;
    notice_.clear();

    if (outputToFile_) {
        vexlo::ReplaceFile(outputFileName_, bytes);
        return;
    }
    const LinkDestination dest = destination();
    switch (dest.kind) {
    case LinkDestination::Kind::Spooler: {
        const vexlo::SpoolerJob job = vexlo::SendToSpooler(dest.name, bytes, JobTitle);
        if (job.queuePaused) notice_ = vexlo::PausedQueueNotice(dest.name);
        return;
    }
    case LinkDestination::Kind::Device: {
        if (!waiter_) {
            vexlo::WriteToDevice(dest.name, bytes);
            return;
        }
        std::exception_ptr failure;
        waiter_([&] {
            try {
                vexlo::WriteToDevice(dest.name, bytes);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure) std::rethrow_exception(failure);
        return;
    }
    case LinkDestination::Kind::None:
        break;
    }
    throw LinkError(LinkRemedy::ChooseDestination, "No printer or device is chosen");
}

void VexloLink::setOutputToFile(bool on) {
    outputToFile_ = on;
    changed();
}

void VexloLink::setOutputMode(int32_t mode) {
    outputMode_ = mode;
}

void VexloLink::setOutputFileName(const std::string& path) {
    outputFileName_ = path;
    changed();
}

// --- settings per name -----------------------------------------------------

void VexloLink::LoadSettings(const std::string& name) {
    const std::string path = settingsPath();
    IniStore store;
    if (!store.Read(path)) throw LinkError("Cannot read the printer settings from " + path + ".");
    const std::string section = SectionFor(name);
    const auto use = store.Value(section, "Use");
    if (!use) return;  // never saved: keep what there is

    const std::string printer = store.Value(section, "Printer").value_or("");
    const std::string device = store.Value(section, "Device").value_or("");
    if (!printer.empty()) printer_ = printer;
    device_ = device;
    if (*use == KindText(LinkDestination::Kind::Spooler) && !printer.empty()) {
        choose(LinkDestination::Kind::Spooler, printer_, device_);
    } else if (*use == KindText(LinkDestination::Kind::Device) && !device.empty()) {
        choose(LinkDestination::Kind::Device, printer_, device_);
    } else {
        // Nothing was chosen when it was saved: the preselection stands.
        chosen_ = false;
        setQueues(queues_);
    }
}

void VexloLink::SaveSettings(const std::string& name) {
    const std::string path = settingsPath();
    const auto failure = [&] {
        return LinkError("Cannot save the printer settings to " + path +
                         ". Check that this folder may be written.");
    };
    IniStore store;
    if (!store.Read(path)) throw failure();
    const std::string section = SectionFor(name);
    store.SetValue(section, "Device", device_);
    store.SetValue(section, "Printer", printer_);
    store.SetValue(section, "Use", KindText(destination().kind));

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    try {
        vexlo::ReplaceFile(path, store.Text());
    } catch (const LinkError&) {
        throw failure();
    }
}

}  // namespace kelvane
