#pragma once
// The "Write" dialog: one write run from the file choice to its notice.
#include <QString>

#include <memory>
#include <optional>

#include "dialog_base.hpp"
#include "port.hpp"
#include "srecord.hpp"
#include "transfer.hpp"

class QLabel;

namespace quarveld {

// The file-open dialog for the image. The path and the filter chosen last are
// offered again for the rest of the program run. Nothing when cancelled.
std::optional<QString> ChooseImageFile();

class WriteDialog : public TemplateDialog, public WriteObserver {
    Q_OBJECT
public:
    // Runs a write with the settings and devices as they are now. Returns 0
    // (cancelled or failed), 1 (written to the end) or 3 (aborted).
    static int Run(QWidget* owner, const PortSettings& settings, const DeviceMap& devices);

    // Called on the worker thread; returns once the dialog has handled the
    // message, for an end or an error only after the notice's OK.
    void HandleWriteMessage(int message, int32_t lParam) override;

    ~WriteDialog() override;

protected:
    void Command(int id) override;

private:
    explicit WriteDialog(QWidget* owner);
    // Opens the image and the port and starts the worker; false when the run
    // ended already (the error notice has been shown).
    bool Start(const QString& path, const PortSettings& settings, const DeviceMap& devices);
    void OnWriteMessage(int message, int32_t lParam);
    void SetCounter(int32_t total);
    void CloseRun();

    QLabel* counter_ = nullptr;
    Image image_;
    std::unique_ptr<WritePort> port_;
    WriteRun run_;
};

}  // namespace quarveld
