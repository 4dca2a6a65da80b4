#pragma once
// VexloComm: the printer-link control that each editor window holds as
// VexloComm1. It shows where jobs go (a spooler queue, or a device or file
// path) and delivers each job as one unit at EndJob.
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "printer_link.hpp"

namespace kelvane {

struct LinkDestination {
    enum class Kind { None, Spooler, Device };
    Kind kind = Kind::None;
    std::string name;  // queue name, or device/file path
    bool operator==(const LinkDestination&) const = default;
};

class VexloComm : public QWidget, public PrinterLink {
    Q_OBJECT
public:
    explicit VexloComm(QWidget* parent = nullptr);
    ~VexloComm() override;

    void LoadSettings(const std::string& name) override;
    void SaveSettings(const std::string& name) override;
    void StartJob() override;
    void AddCommand(const std::string& command) override;
    void EndJob() override;
    void setOutputToFile(bool on) override;
    void setOutputMode(int32_t mode) override;
    void setOutputFileName(const std::string& path) override;

    // OutputToFile alone sends jobs to OutputFileName; OutputMode is kept
    // as given for the caller and selects nothing here.
    bool outputToFile() const;
    int32_t outputMode() const;
    std::string outputFileName() const;

    // Stored settings of the window's instance; both true on both windows.
    void setShowSpooler(bool on);
    void setShowFile(bool on);

    // Where the next job goes; the user chooses it in the control.
    LinkDestination destination() const;
    void setDestination(const LinkDestination& destination);

    // Reads the spooler's queues and the devices present again.
    void refresh();

    // The line that tells the user where the next job goes.
    QString nextJobText() const;

    // Where LoadSettings and SaveSettings keep their groups:
    // $XDG_CONFIG_HOME/kelvane/VexloComm.ini, else ~/.config/kelvane/VexloComm.ini.
    static QString settingsPath();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace kelvane
