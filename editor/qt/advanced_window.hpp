#pragma once
// formAdvanced: up to five switches typed as hex, the send session and the
// customer settings files.
#include <QString>
#include <QWidget>

#include <array>
#include <string>

#include "editor_paths.hpp"
#include "send_session.hpp"

class QComboBox;
class QFileDialog;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kelvane {

class VexloComm;
class formSimple;

class formAdvanced : public QWidget {
    Q_OBJECT
public:
    // `simple` is the window that "<< Simple Mode <<" and "Exit" go back to.
    explicit formAdvanced(formSimple* simple);
    ~formAdvanced() override;

    // Load steps, run once at the first hand-over.
    void Load();
    // Unload step; the window is hidden and counts as unloaded.
    void Unload();
    bool isLoaded() const { return loaded_; }

    // The key filter of the value boxes: the key's code as decimal text when
    // it may pass, "0" when it is dropped.
    static QString LimitTextInput(int keyCode);

    VexloComm* link() const { return VexloComm1; }
    const SessionState& session() const { return session_; }
    QFileDialog* fileDialog() const { return CommonDialog2; }

    // "LPT1": where "Load Switches" sends a file.
    void setParallelPort(const std::string& devicePath) { parallelPort_.path = devicePath; }
    std::string parallelPort() const { return parallelPort_.path; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Returns true when the key was dealt with here (dropped or entered).
    bool Text1_KeyPress(int index, QKeyEvent* event);
    void Uncheck_Click(int index);
    void cmdSndPrn_Click();
    void cmdReset_Click();
    void Start_Session_Click();
    void Save_switches_Click();
    void Load_Switches_Click();
    void cmdSimple_Click();
    void cmdExit_Click();
    // Sets up CommonDialog2 and runs it; the chosen path, or empty when cancelled.
    QString RunFileDialog(bool save);

    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QGroupBox* frnReset = nullptr;
    std::array<QComboBox*, RowCount> Combo1{};
    std::array<QLineEdit*, RowCount> Text1{};
    QPushButton* cmdReset = nullptr;
    std::array<QPushButton*, 1> Uncheck{};
    QPushButton* Start_Session = nullptr;
    QPushButton* Save_switches = nullptr;
    QPushButton* Load_Switches = nullptr;
    VexloComm* VexloComm1 = nullptr;
    QPushButton* cmdSndPrn = nullptr;
    QPushButton* cmdSimple = nullptr;
    QPushButton* cmdExit = nullptr;
    QFileDialog* CommonDialog2 = nullptr;

    formSimple* simple_;
    SessionState session_;
    bool loaded_ = false;
    QString dialogFileName_;
    ParallelPort parallelPort_;
};

}  // namespace kelvane
