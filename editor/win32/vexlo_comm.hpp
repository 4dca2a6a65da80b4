#pragma once
// The printer-link control as a child window: the choice of destination on
// screen (a printer of the spooler, or a device or file path) and where the
// next job goes. Jobs, delivery and the settings kept per name belong to the
// VexloLink inside.
#include <windows.h>

#include <string>
#include <vector>

#include "printer_link.hpp"
#include "vexlo_link.hpp"

namespace kelvane::win {

class VexloComm : public PrinterLink {
public:
    // Creates the child window with control id `id`; place in twips.
    VexloComm(HWND parent, int id, int left, int top, int width, int height);
    ~VexloComm() override;
    VexloComm(const VexloComm&) = delete;
    VexloComm& operator=(const VexloComm&) = delete;

    HWND window() const { return window_; }
    VexloLink& link() { return link_; }

    void setShowSpooler(bool on);
    void setShowFile(bool on);

    // Reads the devices and the spooler's queues again.
    void refresh();

    void LoadSettings(const std::string& name) override { link_.LoadSettings(name); }
    void SaveSettings(const std::string& name) override { link_.SaveSettings(name); }
    void StartJob() override { link_.StartJob(); }
    void AddCommand(const std::string& command) override { link_.AddCommand(command); }
    // A notice of the delivery (a paused queue) is shown to the user.
    void EndJob() override;
    void setOutputToFile(bool on) override { link_.setOutputToFile(on); }
    void setOutputMode(int32_t mode) override { link_.setOutputMode(mode); }
    void setOutputFileName(const std::string& path) override { link_.setOutputFileName(path); }

    static void Register();

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void show();
    void edited(LinkDestination::Kind use, const std::string& picked = {});
    void listDevices();
    void takeQueues(const vexlo::SpoolerQueues& queues);

    HWND window_ = nullptr;
    HWND optPrinter_ = nullptr, cboPrinter_ = nullptr, cmdRefresh_ = nullptr;
    HWND optDevice_ = nullptr, cboDevice_ = nullptr, lblNextJob_ = nullptr;
    VexloLink link_;
    bool listed_ = false;  // the spooler's queues were read at least once
    bool showing_ = false;
};

}  // namespace kelvane::win
