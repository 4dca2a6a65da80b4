#pragma once
// What the editor calls on its printer-link control.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace kelvane {

// A failure of the link; the message tells a user what failed and why.
class LinkError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
