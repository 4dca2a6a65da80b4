#pragma once
// formSimple: the window Kelvane2 shows first. One memory switch, bit by bit.
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "editor_paths.hpp"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace kelvane {

class VexloComm;
class formAdvanced;

class formSimple : public QWidget {
    Q_OBJECT
public:
    explicit formSimple(QWidget* parent = nullptr);
    ~formSimple() override;

    // Load steps; the caller shows the window afterwards.
    void Load();
    // Unload step; the window is hidden and counts as unloaded.
    void Unload();
    bool isLoaded() const { return loaded_; }

    // Exit steps: this window, then the advanced one if it is loaded.
    void Exit();
    // Hand-over from the advanced window's "<< Simple Mode <<".
    void ShowAgain();

    // The text of a run of binary digits as a number; any other character counts as 0.
    static int32_t cBinary(const QString& BinaryString);

    VexloComm* link() const { return VexloComm1; }
    // "LPT1" as the device map read at start gives it.
    const ParallelPort& parallelPort() const { return parallelPort_; }
    formAdvanced* advanced() const { return advanced_.get(); }
    QString currentValue() const { return CurrentValue; }
    QString currentSwitch() const { return CurrentSwitch; }

signals:
    // Emitted at the end of every recompute, with the new value text.
    void valueUpdated(const QString& value);
    // Neither window is loaded any more: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend class formAdvanced;

    void UpdateValue();
    void Uncheck_all_Click();
    void cmdSend2Prn_Click();
    void cmdAdv_Click();
    // Called by either window once an unload is done.
    void CheckProgramEnd();

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QComboBox* cboMemSw = nullptr;
    QPushButton* cmdSend2Prn = nullptr;
    QPushButton* cmdAdv = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* Uncheck_all = nullptr;
    std::array<QCheckBox*, 16> Check1{};
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Image1 = nullptr;
    VexloComm* VexloComm1 = nullptr;

    QString CurrentValue;
    QString CurrentSwitch;
    bool loaded_ = false;
    std::unique_ptr<formAdvanced> advanced_;
    ParallelPort parallelPort_;
};

}  // namespace kelvane
