#pragma once
// The main window: its menu opens the Write and Port dialogs; closing it asks
// whether to save the port settings.
#include <QMainWindow>

#include "port.hpp"

class QAction;

namespace quarveld {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Loads the port settings and the device map from TORWIN.INI.
    MainWindow();

    PortSettings& Settings() { return settings_; }
    const DeviceMap& Devices() const { return devices_; }

    // The menu commands 301, 302 and 303.
    void WriteCommand();
    void PortCommand();
    void ExitCommand();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    PortSettings settings_;
    DeviceMap devices_;
};

}  // namespace quarveld
