#include "station_window.hpp"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <system_error>

#include "run_log.hpp"
#include "settings_file.hpp"
#include "write_dialog.hpp"

namespace quarveld {

namespace {

const QString Title = QStringLiteral("QUARVELD Station");

enum Column { ColPort, ColProgress, ColState, ColWritten, ColFailed, Columns };

// A unit is polled this often; ABORT shows within a tick of the ports' stop.
constexpr int TickMs = 50;
// After ABORT, until every port has stopped.
constexpr int AbortTickMs = 10;
// While idle, ports and the image file are looked at every so many ticks.
constexpr int IdleLookTicks = 40;

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

void Fill(QComboBox* box, std::initializer_list<std::pair<const char*, int>> items, int current) {
    for (const auto& [caption, id] : items) box->addItem(QString::fromLatin1(caption), id);
    box->setCurrentIndex(std::max(0, box->findData(current)));
}

QIcon DrawSwatch(const QColor& colour) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(colour.darker(160));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, 0.5, 11, 11), 2, 2);
    return QIcon(pixmap);
}

// One icon a colour: rows are refreshed many times a second during a unit.
const QIcon& Swatch(station::PortPhase phase) {
    static std::map<station::PortPhase, QIcon> icons;
    auto found = icons.find(phase);
    if (found == icons.end()) found = icons.emplace(phase, DrawSwatch(PhaseColour(phase))).first;
    return found->second;
}

bool IsTextBox(QWidget* w) {
    if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w)) return true;
    auto* combo = qobject_cast<QComboBox*>(w);
    return combo != nullptr && combo->isEditable();
}

}  // namespace

QColor PhaseColour(station::PortPhase phase) {
    switch (phase) {
        case station::PortPhase::Writing: return QColor(0x2a, 0x6f, 0xdb);
        case station::PortPhase::Silent: return QColor(0xe8, 0xa2, 0x02);
        case station::PortPhase::Written: return QColor(0x1e, 0x9e, 0x3a);
        case station::PortPhase::Refused:
        case station::PortPhase::Gone:
        case station::PortPhase::Failed: return QColor(0xd0, 0x21, 0x21);
        case station::PortPhase::Aborted: return QColor(0x80, 0x50, 0xa0);
        case station::PortPhase::Ready: break;
    }
    return QColor(0xa0, 0xa0, 0xa0);
}

StationWindow::StationWindow(const std::vector<std::string>& ports, const QString& image, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("StationWindow"));
    setWindowTitle(Title);
    settingsPath_ = station::StationSettingsPath();
    settings_ = station::LoadStationSettings(settingsPath_, SettingsFilePath());
    if (!ports.empty()) {
        // The ports of the command line are this start's set.
        settings_.ticked = ports;
        for (const std::string& port : ports) {
            if (std::find(settings_.added.begin(), settings_.added.end(), port) == settings_.added.end())
                settings_.added.push_back(port);
        }
    }
    logChosen_ = !settings_.logPath.empty();
    BuildLayout();
    Rescan();
    if (!image.isEmpty()) {
        txtImage_->setText(image);
        CheckImage(image);
    }
    ShowImage();
    ShowRows();
    UpdateControls();
    qApp->installEventFilter(this);
    connect(&timer_, &QTimer::timeout, this, &StationWindow::Tick);
    timer_.start(TickMs);
    cmdStart_->setFocus();
}

StationWindow::~StationWindow() { qApp->removeEventFilter(this); }

void StationWindow::BuildLayout() {
    auto* top = new QVBoxLayout(this);

    auto* imageBox = new QGroupBox(QStringLiteral("Image"), this);
    imageBox->setObjectName(QStringLiteral("fraImage"));
    auto* imageGrid = new QGridLayout(imageBox);
    auto* imageLabel = new QLabel(QStringLiteral("&File:"), imageBox);
    txtImage_ = new QLineEdit(imageBox);
    txtImage_->setObjectName(QStringLiteral("txtImage"));
    txtImage_->setPlaceholderText(QStringLiteral("an S-record image (*.MOT); Enter checks it"));
    imageLabel->setBuddy(txtImage_);
    cmdImage_ = new QPushButton(QStringLiteral("&Choose..."), imageBox);
    cmdImage_->setObjectName(QStringLiteral("cmdImage"));
    lblImage_ = new QLabel(imageBox);
    lblImage_->setObjectName(QStringLiteral("lblImage"));
    lblImage_->setWordWrap(true);
    lblImage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblImageChanged_ = new QLabel(imageBox);
    lblImageChanged_->setObjectName(QStringLiteral("lblImageChanged"));
    lblImageChanged_->setWordWrap(true);
    lblImageChanged_->setText(QStringLiteral(
        "The file has changed on disk since it was checked. Units are still written from the image as checked; "
        "choose the file again to take the new one."));
    lblImageChanged_->setStyleSheet(QStringLiteral("color: #8a5a00;"));
    imageGrid->addWidget(imageLabel, 0, 0);
    imageGrid->addWidget(txtImage_, 0, 1);
    imageGrid->addWidget(cmdImage_, 0, 2);
    imageGrid->addWidget(lblImage_, 1, 1, 1, 2);
    imageGrid->addWidget(lblImageChanged_, 2, 1, 1, 2);
    top->addWidget(imageBox);

    auto* lineBox = new QGroupBox(QStringLiteral("Line"), this);
    lineBox->setObjectName(QStringLiteral("fraLine"));
    auto* line = new QHBoxLayout(lineBox);
    auto addField = [&](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, lineBox);
        label->setBuddy(field);
        line->addWidget(label);
        line->addWidget(field);
        line->addSpacing(10);
    };
    cboBaud_ = new QComboBox(lineBox);
    cboBaud_->setObjectName(QStringLiteral("cboBaud"));
    Fill(cboBaud_, {{"19200bps", ID_19200}, {"9600bps", ID_9600}, {"4800bps", ID_4800}, {"2400bps", ID_2400}},
         settings_.line.BaudRate);
    cboBits_ = new QComboBox(lineBox);
    cboBits_->setObjectName(QStringLiteral("cboBits"));
    Fill(cboBits_, {{"8bit", ID_8BIT}, {"7bit", ID_7BIT}}, settings_.line.BitLength);
    cboParity_ = new QComboBox(lineBox);
    cboParity_->setObjectName(QStringLiteral("cboParity"));
    Fill(cboParity_, {{"None", ID_NONE}, {"Odd", ID_ODD}, {"Even", ID_EVEN}}, settings_.line.Parity);
    spnSilence_ = new QSpinBox(lineBox);
    spnSilence_->setObjectName(QStringLiteral("spnSilence"));
    spnSilence_->setRange(0, 3600);
    spnSilence_->setSuffix(QStringLiteral(" s"));
    spnSilence_->setSpecialValueText(QStringLiteral("wait"));
    spnSilence_->setValue(static_cast<int>(settings_.silenceSeconds + 0.5));
    spnSilence_->setToolTip(QStringLiteral("A printer silent for this long ends its port's run as an error"));
    addField(QStringLiteral("B&aud rate:"), cboBaud_);
    addField(QStringLiteral("Bi&ts:"), cboBits_);
    addField(QStringLiteral("&Parity:"), cboParity_);
    addField(QStringLiteral("No answer &for:"), spnSilence_);
    line->addStretch(1);
    top->addWidget(lineBox);

    auto* portsBox = new QGroupBox(QStringLiteral("Ports"), this);
    portsBox->setObjectName(QStringLiteral("fraPorts"));
    auto* ports = new QVBoxLayout(portsBox);
    lstPorts_ = new QTreeWidget(portsBox);
    lstPorts_->setObjectName(QStringLiteral("lstPorts"));
    lstPorts_->setColumnCount(Columns);
    lstPorts_->setHeaderLabels({QStringLiteral("Port"), QStringLiteral("Progress"), QStringLiteral("State"),
                                QStringLiteral("Written"), QStringLiteral("Failed")});
    lstPorts_->setRootIsDecorated(false);
    lstPorts_->setUniformRowHeights(true);
    lstPorts_->setAllColumnsShowFocus(true);
    lstPorts_->header()->setStretchLastSection(false);
    lstPorts_->header()->setSectionResizeMode(ColPort, QHeaderView::Interactive);
    lstPorts_->header()->setSectionResizeMode(ColState, QHeaderView::Stretch);
    lstPorts_->setColumnWidth(ColPort, 200);
    lstPorts_->setColumnWidth(ColProgress, 110);
    lstPorts_->setColumnWidth(ColWritten, 60);
    lstPorts_->setColumnWidth(ColFailed, 60);
    lstPorts_->setMinimumHeight(150);
    ports->addWidget(lstPorts_);
    auto* portRow = new QHBoxLayout;
    cmdRescan_ = new QPushButton(QStringLiteral("Find p&orts again"), portsBox);
    cmdRescan_->setObjectName(QStringLiteral("cmdRescan"));
    auto* portLabel = new QLabel(QStringLiteral("A&dd a device:"), portsBox);
    txtPort_ = new QLineEdit(portsBox);
    txtPort_->setObjectName(QStringLiteral("txtPort"));
    txtPort_->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, /dev/pts/3, ..."));
    portLabel->setBuddy(txtPort_);
    cmdAddPort_ = new QPushButton(QStringLiteral("Add"), portsBox);
    cmdAddPort_->setObjectName(QStringLiteral("cmdAddPort"));
    portRow->addWidget(cmdRescan_);
    portRow->addSpacing(16);
    portRow->addWidget(portLabel);
    portRow->addWidget(txtPort_, 1);
    portRow->addWidget(cmdAddPort_);
    ports->addLayout(portRow);
    top->addWidget(portsBox, 1);

    auto* recordBox = new QGroupBox(QStringLiteral("Record"), this);
    recordBox->setObjectName(QStringLiteral("fraRecord"));
    auto* record = new QGridLayout(recordBox);
    auto* batchLabel = new QLabel(QStringLiteral("&Batch:"), recordBox);
    txtBatch_ = new QLineEdit(Text(settings_.batch), recordBox);
    txtBatch_->setObjectName(QStringLiteral("txtBatch"));
    txtBatch_->setPlaceholderText(QStringLiteral("work order or lot, kept in every unit's record"));
    batchLabel->setBuddy(txtBatch_);
    auto* logLabel = new QLabel(QStringLiteral("&Log:"), recordBox);
    txtLog_ = new QLineEdit(Text(LogPath()), recordBox);
    txtLog_->setObjectName(QStringLiteral("txtLog"));
    logLabel->setBuddy(txtLog_);
    cmdLog_ = new QPushButton(QStringLiteral("C&hoose..."), recordBox);
    cmdLog_->setObjectName(QStringLiteral("cmdLog"));
    record->addWidget(batchLabel, 0, 0);
    record->addWidget(txtBatch_, 0, 1, 1, 2);
    record->addWidget(logLabel, 1, 0);
    record->addWidget(txtLog_, 1, 1);
    record->addWidget(cmdLog_, 1, 2);
    top->addWidget(recordBox);

    auto* actions = new QHBoxLayout;
    cmdStart_ = new QPushButton(QStringLiteral("&Start"), this);
    cmdStart_->setObjectName(QStringLiteral("cmdStart"));
    cmdStart_->setToolTip(QStringLiteral("Writes every ticked port at once (Enter or Space)"));
    cmdAbort_ = new QPushButton(QStringLiteral("ABORT"), this);
    cmdAbort_->setObjectName(QStringLiteral("cmdAbort"));
    cmdAbort_->setToolTip(QStringLiteral("Stops every port (Esc)"));
    for (QPushButton* b : {cmdStart_, cmdAbort_}) {
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setMinimumSize(120, 36);
    }
    lblCounts_ = new QLabel(this);
    lblCounts_->setObjectName(QStringLiteral("lblCounts"));
    actions->addWidget(cmdStart_);
    actions->addWidget(cmdAbort_);
    actions->addSpacing(16);
    actions->addWidget(lblCounts_, 1);
    top->addLayout(actions);

    connect(cmdImage_, &QPushButton::clicked, this, &StationWindow::ChooseImage);
    connect(txtImage_, &QLineEdit::returnPressed, this, [this] { CheckImage(txtImage_->text()); });
    connect(cmdRescan_, &QPushButton::clicked, this, &StationWindow::Rescan);
    connect(cmdAddPort_, &QPushButton::clicked, this, &StationWindow::AddTypedPort);
    connect(txtPort_, &QLineEdit::returnPressed, this, &StationWindow::AddTypedPort);
    connect(cmdLog_, &QPushButton::clicked, this, &StationWindow::ChooseLog);
    connect(txtLog_, &QLineEdit::textEdited, this, [this] { logChosen_ = true; });
    connect(cmdStart_, &QPushButton::clicked, this, &StationWindow::Start);
    connect(cmdAbort_, &QPushButton::clicked, this, &StationWindow::Abort);
    connect(lstPorts_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column != ColPort) return;
        const std::string device = item->data(ColPort, Qt::UserRole).toString().toStdString();
        auto& ticked = settings_.ticked;
        ticked.erase(std::remove(ticked.begin(), ticked.end(), device), ticked.end());
        if (item->checkState(ColPort) == Qt::Checked) ticked.push_back(device);
        ShowRows();
        UpdateControls();
    });
    setTabOrder(txtImage_, cmdImage_);
    resize(840, 560);
}

void StationWindow::AddPort(const std::string& device, const std::string& name, bool ticked) {
    auto* item = new QTreeWidgetItem;
    item->setText(ColPort, Text(name));
    item->setToolTip(ColPort, Text(device));
    item->setData(ColPort, Qt::UserRole, Text(device));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(ColPort, ticked ? Qt::Checked : Qt::Unchecked);
    item->setTextAlignment(ColWritten, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(ColFailed, Qt::AlignRight | Qt::AlignVCenter);
    const QSignalBlocker quiet(lstPorts_);
    lstPorts_->addTopLevelItem(item);
    auto* bar = new QProgressBar;
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%p %"));
    bar->setMaximumHeight(lstPorts_->fontMetrics().height() + 2);
    lstPorts_->setItemWidget(item, ColProgress, bar);
    rows_.push_back({device, item});
}

void StationWindow::Rescan() {
    if (station_.Running()) return;
    std::vector<station::FoundPort> wanted = station::FindSerialPorts();
    for (const std::string& device : settings_.added) {
        if (std::none_of(wanted.begin(), wanted.end(), [&](const auto& p) { return p.device == device; }))
            wanted.push_back({device, device});
    }
    // Rows of ports that went away go; new ones come at the end.
    for (auto row = rows_.begin(); row != rows_.end();) {
        if (std::none_of(wanted.begin(), wanted.end(), [&](const auto& p) { return p.device == row->device; })) {
            delete row->item;
            row = rows_.erase(row);
        } else {
            ++row;
        }
    }
    for (const station::FoundPort& port : wanted) {
        if (std::any_of(rows_.begin(), rows_.end(), [&](const Row& r) { return r.device == port.device; })) continue;
        const bool ticked =
            std::find(settings_.ticked.begin(), settings_.ticked.end(), port.device) != settings_.ticked.end();
        AddPort(port.device, port.name, ticked);
    }
    ShowRows();
    UpdateControls();
}

void StationWindow::AddTypedPort() {
    const std::string device = txtPort_->text().trimmed().toStdString();
    if (device.empty()) return;
    txtPort_->clear();
    if (std::find(settings_.added.begin(), settings_.added.end(), device) == settings_.added.end())
        settings_.added.push_back(device);
    if (std::find(settings_.ticked.begin(), settings_.ticked.end(), device) == settings_.ticked.end())
        settings_.ticked.push_back(device);
    const auto row = std::find_if(rows_.begin(), rows_.end(), [&](const Row& r) { return r.device == device; });
    if (row != rows_.end()) {
        const QSignalBlocker quiet(lstPorts_);
        row->item->setCheckState(ColPort, Qt::Checked);
    } else {
        AddPort(device, device, true);
    }
    ShowRows();
    UpdateControls();
}

bool StationWindow::CheckImage(const QString& path) {
    auto image = std::make_shared<station::HeldImage>();
    std::string why;
    bool opened = false;
    if (station::HoldImage(path.toStdString(), *image, why, opened)) {
        image_ = std::move(image);
        imageProblem_.clear();
    } else {
        image_.reset();
        imageProblem_ = Text(why);
    }
    txtImage_->setText(path);
    ShowImage();
    UpdateControls();
    return image_ != nullptr;
}

void StationWindow::ChooseImage() {
    const std::optional<QString> path = ChooseImageFile();
    if (path) CheckImage(*path);
}

void StationWindow::ChooseLog() {
    QFileDialog dialog(this, QStringLiteral("Record of the units"), QFileInfo(txtLog_->text()).absolutePath(),
                       QStringLiteral("JSON Lines (*.jsonl);;Any file (*)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // records are added, never replaced
    dialog.setDefaultSuffix(QStringLiteral("jsonl"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    txtLog_->setText(dialog.selectedFiles().first());
    logChosen_ = true;
}

std::string StationWindow::LogPath() const {
    if (logChosen_) {
        if (txtLog_ != nullptr) return txtLog_->text().trimmed().toStdString();
        return settings_.logPath;
    }
    return station::DailyLogPath(station::StationDataFolder(), std::chrono::system_clock::now());
}

std::vector<std::string> StationWindow::Ticked() const {
    std::vector<std::string> ticked;
    for (const Row& row : rows_)
        if (row.item->checkState(ColPort) == Qt::Checked) ticked.push_back(row.device);
    return ticked;
}

void StationWindow::Start() {
    if (station_.Running() || !image_) return;
    std::vector<NamedPort> ports;
    const DeviceMap devices = MachineDevices(SettingsFilePath());
    std::string why;
    for (const std::string& device : Ticked()) {
        NamedPort port;
        if (!NamePort(device, false, devices, port, why)) {
            QMessageBox::warning(this, Title, Text(why));
            return;
        }
        ports.push_back(port);
    }
    station::StationOptions options;
    options.line.BaudRate = cboBaud_->currentData().toInt();
    options.line.BitLength = cboBits_->currentData().toInt();
    options.line.Parity = cboParity_->currentData().toInt();
    options.silenceSeconds = spnSilence_->value();
    options.batch = txtBatch_->text().trimmed().toStdString();
    options.station = station::HostName();
    if (!logChosen_) {
        // The file of the day, in a folder made when first needed.
        txtLog_->setText(Text(LogPath()));
        std::error_code ignored;
        std::filesystem::create_directories(station::StationDataFolder(), ignored);
    }
    options.logPath = txtLog_->text().trimmed().toStdString();
    if (options.logPath.empty()) {
        QMessageBox::warning(this, Title, QStringLiteral("Give the log a file: every unit is recorded."));
        return;
    }
    if (!station_.Start(image_, ports, options, why)) {
        QMessageBox::warning(this, Title, QStringLiteral("Nothing was written: %1.").arg(Text(why)));
        return;
    }
    SaveSettings();
    ShowRows();
    UpdateControls();
    cmdAbort_->setFocus();
}

void StationWindow::Abort() {
    if (!station_.Running()) return;
    station_.Abort();
    // Each port stops at its next read; the rows follow as soon as it has.
    timer_.setInterval(AbortTickMs);
}

void StationWindow::Tick() {
    if (station_.Running()) {
        const bool running = station_.Poll();
        ShowRows();
        if (!running) {
            timer_.setInterval(TickMs);
            UpdateControls();
            cmdStart_->setFocus();
            if (!station_.Stopped().empty()) QMessageBox::critical(this, Title, Text(station_.Stopped()));
        }
        return;
    }
    if (++idleTicks_ < IdleLookTicks) return;
    idleTicks_ = 0;
    // Adapters come and go while the bench waits, and the image file may change.
    Rescan();
    ShowImage();
}

void StationWindow::ShowRows() {
    const QSignalBlocker quiet(lstPorts_);  // only the user's ticks are changes
    const std::vector<station::PortStatus>& statuses = station_.Ports();
    for (const Row& row : rows_) {
        const auto found = std::find_if(statuses.begin(), statuses.end(),
                                        [&](const station::PortStatus& s) { return s.port.device == row.device; });
        const bool ticked = row.item->checkState(ColPort) == Qt::Checked;
        station::PortPhase phase = station::PortPhase::Ready;
        QString words = ticked ? QStringLiteral("ready") : QString();
        double fraction = 0;
        QString reason;
        if (found != statuses.end()) {
            phase = found->phase;
            words = Text(found->words);
            fraction = found->fraction;
            reason = Text(found->reason);
        }
        // Only what changed is drawn again.
        const QVariant shownPhase = row.item->data(ColState, Qt::UserRole);
        if (row.item->text(ColState) != words || !shownPhase.isValid() || shownPhase.toInt() != int(phase)) {
            row.item->setText(ColState, words);
            row.item->setData(ColState, Qt::UserRole, int(phase));
            row.item->setIcon(ColState, words.isEmpty() ? QIcon() : Swatch(phase));
        }
        const QString tip = reason.isEmpty() ? words : reason;
        if (row.item->toolTip(ColState) != tip) row.item->setToolTip(ColState, tip);
        if (auto* bar = qobject_cast<QProgressBar*>(lstPorts_->itemWidget(row.item, ColProgress))) {
            const int value = static_cast<int>(fraction * 100);
            if (bar->value() != value) bar->setValue(value);
            bar->setVisible(ticked || found != statuses.end());
        }
        const station::PortCount count = station_.CountAt(row.device);
        const QString written = QString::number(count.written), failed = QString::number(count.failed);
        if (row.item->text(ColWritten) != written) row.item->setText(ColWritten, written);
        if (row.item->text(ColFailed) != failed) row.item->setText(ColFailed, failed);
    }
    const station::PortCount total = station_.Total();
    const QString counts =
        QStringLiteral("Since the window opened: %1 written, %2 failed").arg(total.written).arg(total.failed);
    if (lblCounts_->text() != counts) lblCounts_->setText(counts);
}

void StationWindow::ShowImage() {
    if (image_) {
        const station::ImageCount& count = image_->count;
        lblImage_->setText(QStringLiteral("%1 bytes, %2 frames, %3 data bytes; SHA-256 %4...")
                               .arg(image_->bytes.size())
                               .arg(count.frames)
                               .arg(count.dataBytes)
                               .arg(Text(image_->sha256.substr(0, 16))));
        lblImage_->setStyleSheet(QString());
        lblImageChanged_->setVisible(station::ChangedOnDisk(*image_));
    } else {
        lblImage_->setText(imageProblem_.isEmpty() ? QStringLiteral("No image yet: choose one to start.")
                                                   : imageProblem_);
        lblImage_->setStyleSheet(imageProblem_.isEmpty() ? QString() : QStringLiteral("color: #b00000;"));
        lblImageChanged_->setVisible(false);
    }
}

void StationWindow::UpdateControls() {
    const bool running = station_.Running();
    cmdStart_->setEnabled(!running && image_ != nullptr && !Ticked().empty());
    cmdAbort_->setEnabled(running);
    for (QWidget* w : std::initializer_list<QWidget*>{txtImage_, cmdImage_, cboBaud_, cboBits_, cboParity_,
                                                      spnSilence_, cmdRescan_, txtPort_, cmdAddPort_, txtBatch_,
                                                      txtLog_, cmdLog_})
        w->setEnabled(!running);
    // Ticks stay, but cannot change under a unit.
    const QSignalBlocker quiet(lstPorts_);
    for (const Row& row : rows_) {
        Qt::ItemFlags flags = row.item->flags();
        row.item->setFlags(running ? flags & ~Qt::ItemIsUserCheckable : flags | Qt::ItemIsUserCheckable);
    }
}

void StationWindow::SaveSettings() {
    settings_.line.BaudRate = cboBaud_->currentData().toInt();
    settings_.line.BitLength = cboBits_->currentData().toInt();
    settings_.line.Parity = cboParity_->currentData().toInt();
    settings_.silenceSeconds = spnSilence_->value();
    settings_.batch = txtBatch_->text().trimmed().toStdString();
    settings_.logPath = logChosen_ ? txtLog_->text().trimmed().toStdString() : std::string();
    std::string why;
    if (!station::SaveStationSettings(settings_, settingsPath_, &why))
        QMessageBox::warning(this, Title,
                             QStringLiteral("The station's settings cannot be stored in %1: %2")
                                 .arg(Text(settingsPath_), Text(why)));
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (station_.Running()) {
        const auto answer = QMessageBox::question(
            this, Title,
            QStringLiteral("A unit is being written at %1 ports. Abort it and close the window?")
                .arg(station_.Ports().size()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes || !station_.Running()) {
            event->ignore();
            return;
        }
        station_.Abort();
        // Every port stops within a read; its record is kept before the window goes.
        QElapsedTimer waited;
        waited.start();
        while (station_.Poll() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
        ShowRows();
    }
    SaveSettings();
    event->accept();
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) keySeen_ = nullptr;
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return false;
    // Decided where the key first arrives: a text box's Enter that goes on
    // to its parents must not start a unit there.
    if (event == keySeen_) return false;
    keySeen_ = event;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    QWidget* focus = widget;  // keys go to the widget with the focus
    switch (key->key()) {
        case Qt::Key_Escape:
            Abort();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (IsTextBox(focus)) return false;
            if (cmdStart_->isEnabled()) Start();
            return true;
        case Qt::Key_Space:
            // Buttons, ticks and lists keep their own Space.
            if (IsTextBox(focus) || (focus != cmdStart_ && (qobject_cast<QAbstractButton*>(focus) ||
                                                            qobject_cast<QComboBox*>(focus) ||
                                                            qobject_cast<QTreeWidget*>(focus))))
                return false;
            if (cmdStart_->isEnabled()) Start();
            return true;
        default:
            return false;
    }
}

}  // namespace quarveld
