#pragma once
// What the editor calls on its printer-link control.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace kelvane {

// What a user does about a failure where the windows and the command line
// differ: a window has a refresh button and the Settings box, a tool has options.
enum class LinkRemedy {
    None,
    ChooseDestination,  // no printer or device chosen
    ChoosePrinter,      // no queue chosen
    GivePath,           // no device or file path given
    RefreshDevices,     // the device is not there
    RefreshPrinters,    // the queue is not there
    UseDevice,          // the spooler cannot be used
    JoinGroup,          // the device is the group's (subject: the group)
    WritableFolder,     // the folder may not be written
    WritableFile,       // the file may not be written
    MapParallelPort,    // LPT1 is mapped to no device (subject: the map's file)
};

// The windows' words for a remedy, as they follow the reason.
inline const char* WindowRemedy(LinkRemedy remedy) {
    switch (remedy) {
    case LinkRemedy::ChooseDestination:
    case LinkRemedy::ChoosePrinter:
    case LinkRemedy::GivePath: return " in the Settings box.";
    case LinkRemedy::RefreshDevices: return " Press the refresh button to list the devices present.";
    case LinkRemedy::RefreshPrinters: return " Choose another printer and press the refresh button.";
    case LinkRemedy::UseDevice: return ", or choose a device.";
    case LinkRemedy::JoinGroup: return " (then log out and in again), or choose another printer.";
    case LinkRemedy::WritableFolder: return " Choose a folder you may write to.";
    case LinkRemedy::WritableFile: return " Choose a file in a folder you may write to.";
    case LinkRemedy::MapParallelPort:
    case LinkRemedy::None: break;
    }
    return "";
}

// A failure of the link; the message tells a user what failed and why.
class LinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // The message is `reason` followed by the windows' words for `remedy`;
    // another front-end words the remedy its own way.
    LinkError(LinkRemedy remedy, const std::string& reason, std::string subject = "")
        : std::runtime_error(reason + WindowRemedy(remedy)), remedy_(remedy), reason_(reason),
          subject_(std::move(subject)) {}
    LinkRemedy remedy() const { return remedy_; }
    // What the remedy is about, where it needs a name (the group to join).
    const std::string& subject() const { return subject_; }
    // The message without the remedy's words.
    std::string reason() const { return remedy_ == LinkRemedy::None ? what() : reason_; }

private:
    LinkRemedy remedy_ = LinkRemedy::None;
    std::string reason_;
    std::string subject_;
};

class PrinterLink {
public:
    virtual ~PrinterLink() = default;
    virtual void LoadSettings(const std::string& name) = 0;
    virtual void SaveSettings(const std::string& name) = 0;
    virtual void StartJob() = 0;
    virtual void AddCommand(const std::string& command) = 0;
    virtual void EndJob() = 0;
    virtual void setOutputToFile(bool on) = 0;
    virtual void setOutputMode(int32_t mode) = 0;
    virtual void setOutputFileName(const std::string& path) = 0;
};

}  // namespace kelvane
