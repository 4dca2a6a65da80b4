#pragma once
// VexloLink: the printer link without a window. It holds the open job, the
// file output, where jobs go (a spooler queue, a device or file path, or
// nowhere yet) and the choices stored per name in VexloComm.ini. The Qt
// control, the Win32 control and kelvane-send all drive one of these.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "printer_link.hpp"
#include "vexlo_delivery.hpp"

namespace kelvane {

struct LinkDestination {
    enum class Kind { None, Spooler, Device };
    Kind kind = Kind::None;
    std::string name;  // queue name, or device/file path
    bool operator==(const LinkDestination&) const = default;
};

// What a job goes to when nobody has chosen yet: the spooler's default
// queue, else its only queue, else nothing. Never a device.
LinkDestination PreselectedDestination(const vexlo::SpoolerQueues& queues);

class VexloLink : public PrinterLink {
public:
    // `settingsPath` "" means the user's VexloComm.ini, found at each use.
    explicit VexloLink(std::string settingsPath = {});
    ~VexloLink() override;
    VexloLink(const VexloLink&) = delete;
    VexloLink& operator=(const VexloLink&) = delete;

    // Links that loaded the same name from the same file are one printer:
    // a choice the user makes in one is taken by the others at once, and by
    // one that loads the name later. The file is read by the first of them
    // to load the name; the others take what it held. A file that cannot be
    // read raises LinkError in that first load, after the link was set up
    // without it.
    void LoadSettings(const std::string& name) override;
    // Stores the choice the user made in any of those links, unless it is
    // stored under this name already. A choice nobody made (the spooler's
    // default, or what was loaded) leaves the file alone.
    void SaveSettings(const std::string& name) override;
    void StartJob() override;
    void AddCommand(const std::string& command) override;
    void EndJob() override;
    void setOutputToFile(bool on) override;
    void setOutputMode(int32_t mode) override;
    void setOutputFileName(const std::string& path) override;

    // OutputToFile alone sends jobs to OutputFileName; OutputMode is kept
    // as given for the caller and selects nothing here.
    bool outputToFile() const { return outputToFile_; }
    int32_t outputMode() const { return outputMode_; }
    const std::string& outputFileName() const { return outputFileName_; }

    // The two choices a control shows side by side; `use` says which one
    // jobs go to. Each is kept while the other is in use.
    LinkDestination::Kind use() const { return use_; }
    const std::string& printer() const { return printer_; }
    const std::string& device() const { return device_; }
    // A choice of the user's: preselection no longer touches it, and it is
    // what SaveSettings stores.
    void choose(LinkDestination::Kind use, const std::string& printer, const std::string& device);

    // Where the next job goes; None when the chosen entry is empty.
    LinkDestination destination() const;
    void setDestination(const LinkDestination& destination);

    // True once the user chose or a stored choice was loaded.
    bool chosen() const { return chosen_; }

    // The spooler's queues, read again: an unchosen link takes the
    // preselection; a chosen one keeps its choice. The printer entry shows
    // the first queue when it names none.
    void setQueues(const vexlo::SpoolerQueues& queues);
    const vexlo::SpoolerQueues& queues() const { return queues_; }

    // The line that tells the user where the next job goes.
    std::string nextJobText() const;

    // What the last EndJob has to tell besides success ("" when nothing),
    // e.g. that its queue is paused.
    const std::string& notice() const { return notice_; }

    // Runs a device delivery; by default right here. A window passes one
    // that keeps itself painted while `work` runs on another thread.
    using Waiter = std::function<void(const std::function<void()>& work)>;
    void setWaiter(Waiter waiter) { waiter_ = std::move(waiter); }

    // Called after anything above changed, so a control can show it.
    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

    std::string settingsPath() const { return settingsPath_.empty() ? DefaultSettingsPath() : settingsPath_; }
    // ConfigFolder() + "VexloComm.ini".
    static std::string DefaultSettingsPath();

    // The file's section for a name: its raw bytes percent-encoded, so "/"
    // nests nothing and distinct names never meet.
    static std::string SectionFor(const std::string& name);

    // What the user chose, as the links of one name share it.
    struct Choice {
        LinkDestination::Kind use = LinkDestination::Kind::None;
        std::string printer, device;
        bool printerPicked = false;  // false: the printer entry shows a preselection
    };
    struct Shared;  // vexlo_link.cpp

private:
    void changed();
    void take(const Choice& choice);
    void share(const std::string& path, const std::string& name);

    std::string settingsPath_;
    bool outputToFile_ = false;
    int32_t outputMode_ = 0;
    std::string outputFileName_;
    bool jobOpen_ = false;
    std::string job_;

    LinkDestination::Kind use_ = LinkDestination::Kind::None;
    std::string printer_;
    std::string device_;
    bool printerPicked_ = false;
    bool chosen_ = false;
    std::shared_ptr<Shared> shared_;
    vexlo::SpoolerQueues queues_;
    std::string notice_;
    Waiter waiter_;
    std::function<void()> onChange_;
};

}  // namespace kelvane
