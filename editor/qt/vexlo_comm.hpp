#pragma once
// VexloComm: the printer-link control that each editor window holds as
// VexloComm1. It shows and edits where jobs go; the job, the delivery and
// the stored choices belong to its VexloLink.
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "vexlo_link.hpp"

namespace kelvane {

// Runs `work` (a device delivery) on a thread of its own while the windows
// keep painting under a busy cursor; input waits until it is done.
void RunKeepingPainted(const std::function<void()>& work);

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

    bool outputToFile() const;
    int32_t outputMode() const;
    std::string outputFileName() const;

    // Stored settings of the window's instance; both true on both windows.
    void setShowSpooler(bool on);
    void setShowFile(bool on);

    // Where the next job goes; the user chooses it in the control.
    LinkDestination destination() const;
    void setDestination(const LinkDestination& destination);

    // Reads the spooler's queues and the devices present again, now. The
    // first reading of the queues runs in the background: a slow spooler
    // must not hold up the window.
    void refresh();
    bool queuesListed() const;

    // The line that tells the user where the next job goes.
    QString nextJobText() const;

    VexloLink& link();

    // Where LoadSettings and SaveSettings keep their groups:
    // $XDG_CONFIG_HOME/kelvane/VexloComm.ini, else ~/.config/kelvane/VexloComm.ini.
    static QString settingsPath();

signals:
    // A job was delivered with something the user must hear of.
    void noticed(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace kelvane
