#pragma once
// "QUARVELD Station": many printers written at once from one checked image,
// one row per port, a record of every unit. The window only turns input into
// calls on the station's core and shows what it says.
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "machine.hpp"
#include "station.hpp"
#include "station_settings.hpp"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarveld {

class StationWindow : public QWidget {
    Q_OBJECT
public:
    // Opens with the station's settings (TORWIN.INI's line until it has its
    // own); `ports`, when given, are added and become the ticked set; `image`,
    // when given, is checked at once.
    explicit StationWindow(const std::vector<std::string>& ports = {}, const QString& image = {},
                           QWidget* parent = nullptr);
    ~StationWindow() override;

    // The core, for what a test wants to know beyond the window.
    const station::Station& Core() const { return station_; }

    // Looks for ports again; rows of ports that have gone are dropped.
    void Rescan();
    // Reads and checks the image; false when it was refused.
    bool CheckImage(const QString& path);
    void Start();
    void Abort();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        std::string device;
        QTreeWidgetItem* item = nullptr;
    };
    void BuildLayout();
    void AddPort(const std::string& device, const std::string& name, bool ticked);
    void AddTypedPort();
    void ChooseImage();
    void ChooseLog();
    void Tick();  // the timer: poll a unit, or look around while idle
    void ShowRows();
    void ShowImage();
    void UpdateControls();
    void SaveSettings();
    std::vector<std::string> Ticked() const;
    std::string LogPath() const;

    station::StationSettings settings_;
    std::string settingsPath_;
    station::Station station_;
    std::shared_ptr<const station::HeldImage> image_;
    QString imageProblem_;
    std::vector<Row> rows_;
    bool logChosen_ = false;  // else the file of the day
    QTimer timer_;
    int idleTicks_ = 0;
    const QEvent* keySeen_ = nullptr;  // the key press being passed up, if any

    QLineEdit* txtImage_ = nullptr;
    QPushButton* cmdImage_ = nullptr;
    QLabel* lblImage_ = nullptr;
    QLabel* lblImageChanged_ = nullptr;
    QComboBox* cboBaud_ = nullptr;
    QComboBox* cboBits_ = nullptr;
    QComboBox* cboParity_ = nullptr;
    QSpinBox* spnSilence_ = nullptr;
    QTreeWidget* lstPorts_ = nullptr;
    QPushButton* cmdRescan_ = nullptr;
    QLineEdit* txtPort_ = nullptr;
    QPushButton* cmdAddPort_ = nullptr;
    QLineEdit* txtBatch_ = nullptr;
    QLineEdit* txtLog_ = nullptr;
    QPushButton* cmdLog_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QPushButton* cmdAbort_ = nullptr;
    QLabel* lblCounts_ = nullptr;
};

// The colour beside a state's words.
QColor PhaseColour(station::PortPhase phase);

}  // namespace quarveld
