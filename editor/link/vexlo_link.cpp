#include "vexlo_link.hpp"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <map>
#include <vector>

#include "file_name.hpp"
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

// The links that loaded one name from one file, and the last choice the user
// made in any of them. Links live on the user-interface thread.
struct VexloLink::Shared {
    std::string key;  // "" for a link that loaded nothing yet
    std::vector<VexloLink*> links;
    Choice choice;
    unsigned made = 0;                       // choices made so far
    std::map<std::string, unsigned> stored;  // name -> the choice stored under it
    // The file as the first link to load the name read it: the others take
    // this, and what kept it from being read was said once, then.
    bool loaded = false;
    bool readable = false;
    IniStore file;
    ~Shared();
};

namespace {

std::map<std::string, std::weak_ptr<VexloLink::Shared>>& SharedByKey() {
    static std::map<std::string, std::weak_ptr<VexloLink::Shared>> all;
    return all;
}

}  // namespace

VexloLink::Shared::~Shared() {
    if (!key.empty()) SharedByKey().erase(key);
}

LinkDestination PreselectedDestination(const vexlo::SpoolerQueues& queues) {
    if (queues.hasDefault || queues.names.size() == 1) {
        return {LinkDestination::Kind::Spooler, queues.names.front()};
    }
    return {};
}

VexloLink::VexloLink(std::string settingsPath)
    : settingsPath_(std::move(settingsPath)), shared_(std::make_shared<Shared>()) {
    shared_->links.push_back(this);
}

VexloLink::~VexloLink() {
    auto& links = shared_->links;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
}

void VexloLink::share(const std::string& path, const std::string& name) {
    const std::string key = path + '\n' + name;
    std::shared_ptr<Shared> next = SharedByKey()[key].lock();
    if (next == shared_) return;
    if (!next) {
        next = std::make_shared<Shared>();
        next->key = key;
        SharedByKey()[key] = next;
    }
    auto& links = shared_->links;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
    shared_ = next;
    shared_->links.push_back(this);
}

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
    // A printer entry left as preselected is no choice, unless it is used.
    const Choice choice{use, printer, device,
                        use == LinkDestination::Kind::Spooler || printer != printer_ || printerPicked_};
    ++shared_->made;
    shared_->choice = choice;
    for (VexloLink* link : std::vector<VexloLink*>(shared_->links)) link->take(choice);
}

void VexloLink::take(const Choice& choice) {
    use_ = choice.use;
    printer_ = choice.printer;
    device_ = choice.device;
    printerPicked_ = choice.printerPicked;
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
        if (!pre.name.empty()) {
            printer_ = pre.name;
            printerPicked_ = false;
        }
    }
    if (printer_.empty() && !queues_.names.empty()) {
        printer_ = queues_.names.front();
        printerPicked_ = false;
    }
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
        if (job.queuePaused) {
            notice_ = vexlo::PausedQueueNotice(dest.name);
        } else if (job.printerOffline) {
            notice_ = vexlo::OfflinePrinterNotice(dest.name);
        }
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
    share(path, name);
    const bool first = !shared_->loaded;
    std::string why;
    if (first) {
        shared_->readable = shared_->file.Read(path, &why);
        shared_->loaded = true;
    }
    const IniStore& store = shared_->file;
    const bool read = shared_->readable;
    const std::string section = SectionFor(name);
    // A name never saved keeps what there is.
    if (const auto use = read ? store.Value(section, "Use") : std::nullopt) {
        const std::string printer = store.Value(section, "Printer").value_or("");
        const std::string device = store.Value(section, "Device").value_or("");
        Choice stored{LinkDestination::Kind::None, printer_, device, printerPicked_};
        if (!printer.empty()) {
            stored.printer = printer;
            stored.printerPicked = true;
        }
        if (*use == KindText(LinkDestination::Kind::Spooler) && !printer.empty()) {
            stored.use = LinkDestination::Kind::Spooler;
        } else if (*use == KindText(LinkDestination::Kind::Device) && !device.empty()) {
            stored.use = LinkDestination::Kind::Device;
        }
        take(stored);
        if (stored.use == LinkDestination::Kind::None) {
            // Nothing was chosen when it was saved: the preselection stands.
            chosen_ = false;
            setQueues(queues_);
        }
    }
    // A choice made in another window since the start is newer than the file.
    if (shared_->made) take(shared_->choice);
    if (!read && first) {
        throw LinkError("The stored printer choice could not be read from " + path + ": " + why +
                        ". Going on without it.");
    }
}

void VexloLink::SaveSettings(const std::string& name) {
    const auto done = shared_->stored.find(name);
    if (shared_->made == 0 || (done != shared_->stored.end() && done->second == shared_->made)) return;
    const std::string path = settingsPath();
    IniStore store;
    std::string why;
    if (!store.Read(path, &why)) throw LinkError("Cannot save the printer settings to " + path + ": " + why + ".");
    const std::string section = SectionFor(name);
    store.SetValue(section, "Device", device_);
    store.SetValue(section, "Printer", printerPicked_ ? printer_ : "");
    store.SetValue(section, "Use", KindText(destination().kind));

    std::error_code ec;
    std::filesystem::create_directories(FilePath(path).parent_path(), ec);
    try {
        vexlo::ReplaceFile(path, store.Text());
    } catch (const LinkError& e) {
        throw LinkError(std::string("Cannot save the printer settings. ") + e.what());
    }
    shared_->stored[name] = shared_->made;
}

}  // namespace kelvane
