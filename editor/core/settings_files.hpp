#pragma once
// Customer settings files: the save job of a session, and the replay of a
// file to the parallel port.
#include <chrono>
#include <stdexcept>
#include <string>

#include "editor_paths.hpp"
#include "printer_link.hpp"
#include "send_session.hpp"

namespace kelvane {

inline constexpr const char* NoSessionMessage = "There are no open sessions, start a session first!";

// A file or device that could not be read or written; the message names it
// and gives the system's reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // The message is whole as it is; `remedy` and `subject` let another
    // front-end add its own words for what to do.
    FileError(const std::string& message, LinkRemedy remedy, std::string subject)
        : std::runtime_error(message), remedy_(remedy), subject_(std::move(subject)) {}
    LinkRemedy remedy() const { return remedy_; }
    const std::string& subject() const { return subject_; }

private:
    LinkRemedy remedy_ = LinkRemedy::None;
    std::string subject_;
};

// Writes the recorded values to `path` through the link's file output, then
// empties the entries it wrote. The caller checks SessionHasValues first.
void SaveSessionToFile(PrinterLink& link, SessionState& session, const std::string& path);

// Every byte of a settings file; FileError names the file and the reason.
std::string ReadSettingsFile(const std::string& filePath);

// Copies every byte of `filePath`, in order and unchanged, to the port.
// A port that takes no byte for `stallTimeout` (printer off or offline) is
// a failure: the window must not wait for it forever. A port that is not
// there is reported with the setting that maps it.
void ReplayFile(const std::string& filePath, const ParallelPort& port,
                std::chrono::milliseconds stallTimeout = std::chrono::seconds(20));
void ReplayFile(const std::string& filePath, const std::string& devicePath,
                std::chrono::milliseconds stallTimeout = std::chrono::seconds(20));

// ReplayFile for bytes already read.
void WriteToParallelPort(const std::string& bytes, const ParallelPort& port,
                         std::chrono::milliseconds stallTimeout = std::chrono::seconds(20));

}  // namespace kelvane
