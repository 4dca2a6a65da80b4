// The printer-link control: the choice of destination on screen, the job
// being collected, and the settings kept per name.
#include "vexlo_comm.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>

#include <cstdlib>

#include "vexlo_delivery.hpp"

namespace kelvane {
namespace {

const char* const JobTitle = "Kelvane2 memory switches";

// Keeps the wait cursor up while a job is on its way.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

// Any name is a group of its own: the raw bytes are percent-encoded so that
// "/" does not nest groups and distinct names never meet.
QString GroupFor(const std::string& name) {
    if (name.empty()) return QStringLiteral("%");  // cannot come out of the encoding
    return QString::fromLatin1(QByteArray::fromStdString(name).toPercentEncoding());
}

const char* KindText(LinkDestination::Kind kind) {
    switch (kind) {
    case LinkDestination::Kind::Spooler: return "printer";
    case LinkDestination::Kind::Device: return "device";
    case LinkDestination::Kind::None: break;
    }
    return "none";
}

// One line that never grows its box: too long a text is shortened in the
// middle, and the whole text stays in the tooltip.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;
    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        setText(text);
        update();
    }
    QSize minimumSizeHint() const override { return {20, fontMetrics().height()}; }
    QSize sizeHint() const override { return {20, fontMetrics().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(full_, Qt::ElideMiddle, contentsRect().width()));
    }

private:
    QString full_;
};

}  // namespace

struct VexloComm::Impl {
    VexloComm* q = nullptr;
    QRadioButton* optPrinter = nullptr;
    QComboBox* cboPrinter = nullptr;
    QToolButton* cmdRefresh = nullptr;
    QRadioButton* optDevice = nullptr;
    QComboBox* cboDevice = nullptr;
    ElidedLabel* lblNextJob = nullptr;
    QButtonGroup* choice = nullptr;

    bool outputToFile = false;
    int32_t outputMode = 0;
    std::string outputFileName;

    bool jobOpen = false;
    std::string job;

    bool defaultQueue = false;  // the first printer entry is the spooler's default
    QString spoolerError;

    void updateLine() { lblNextJob->setFullText(q->nextJobText()); }

    void choose(QRadioButton* which) {
        if (which) {
            which->setChecked(true);
            return;
        }
        // An exclusive group cannot uncheck its last button.
        choice->setExclusive(false);
        optPrinter->setChecked(false);
        optDevice->setChecked(false);
        choice->setExclusive(true);
    }

    void selectPrinter(const QString& queue) {
        int index = cboPrinter->findText(queue, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0 && !queue.isEmpty()) {
            // A remembered queue that the spooler no longer lists stays visible,
            // so the user sees why a job fails.
            cboPrinter->addItem(queue);
            index = cboPrinter->count() - 1;
        }
        cboPrinter->setCurrentIndex(index);
    }
};

VexloComm::VexloComm(QWidget* parent) : QWidget(parent), d(std::make_unique<Impl>()) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    setFont(font);

    d->optPrinter = new QRadioButton(tr("Printer"), this);
    d->optPrinter->setObjectName("optPrinter");
    d->cboPrinter = new QComboBox(this);
    d->cboPrinter->setObjectName("cboPrinter");
    d->cboPrinter->setPlaceholderText(tr("(no printers)"));
    d->cboPrinter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    d->cboPrinter->setMinimumContentsLength(8);
    d->cmdRefresh = new QToolButton(this);
    d->cmdRefresh->setObjectName("cmdRefresh");
    d->cmdRefresh->setText(QString::fromUtf8("\u21bb"));
    d->cmdRefresh->setToolTip(tr("Read the printers and devices again"));
    d->optDevice = new QRadioButton(tr("Device / file"), this);
    d->optDevice->setObjectName("optDevice");
    d->cboDevice = new QComboBox(this);
    d->cboDevice->setObjectName("cboDevice");
    d->cboDevice->setEditable(true);
    d->cboDevice->setInsertPolicy(QComboBox::NoInsert);
    d->cboDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    d->cboDevice->setMinimumContentsLength(8);
    d->cboDevice->lineEdit()->setPlaceholderText(tr("/dev/usb/lp0 or a file"));
    d->q = this;
    d->lblNextJob = new ElidedLabel(this);
    d->lblNextJob->setObjectName("lblNextJob");

    d->choice = new QButtonGroup(this);
    d->choice->addButton(d->optPrinter);
    d->choice->addButton(d->optDevice);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 4, 2, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(5);
    grid->addWidget(d->optPrinter, 0, 0);
    grid->addWidget(d->cboPrinter, 0, 1);
    grid->addWidget(d->cmdRefresh, 0, 2);
    grid->addWidget(d->optDevice, 1, 0);
    grid->addWidget(d->cboDevice, 1, 1, 1, 2);
    grid->addWidget(d->lblNextJob, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);

    auto update = [this] { d->updateLine(); };
    connect(d->choice, &QButtonGroup::buttonToggled, this, update);
    connect(d->cboPrinter, &QComboBox::currentTextChanged, this, update);
    connect(d->cboDevice, &QComboBox::currentTextChanged, this, update);
    // Picking or typing a destination means using it.
    connect(d->cboPrinter, &QComboBox::activated, this, [this] { d->choose(d->optPrinter); });
    connect(d->cboDevice, &QComboBox::activated, this, [this] { d->choose(d->optDevice); });
    connect(d->cboDevice->lineEdit(), &QLineEdit::textEdited, this, [this] { d->choose(d->optDevice); });
    connect(d->cmdRefresh, &QToolButton::clicked, this, &VexloComm::refresh);

    refresh();
}

VexloComm::~VexloComm() = default;

void VexloComm::refresh() {
    const LinkDestination before = destination();
    const bool firstTime = d->cboPrinter->count() == 0 && d->cboDevice->count() == 0 &&
                           before.kind == LinkDestination::Kind::None;

    const vexlo::SpoolerQueues queues = vexlo::ListSpoolerQueues();
    d->defaultQueue = queues.hasDefault;
    d->spoolerError = QString::fromStdString(queues.error);
    const QString typed = d->cboDevice->currentText();
    const QString shownPrinter = d->cboPrinter->currentText();
    {
        const QSignalBlocker b1(d->cboPrinter), b2(d->cboDevice);
        d->cboPrinter->clear();
        for (const auto& q : queues.names) d->cboPrinter->addItem(QString::fromStdString(q));
        // The list keeps showing a queue even while a device is in use.
        if (shownPrinter.isEmpty()) {
            d->cboPrinter->setCurrentIndex(d->cboPrinter->count() > 0 ? 0 : -1);
        } else {
            d->selectPrinter(shownPrinter);
        }
        d->cboDevice->clear();
        for (const auto& dev : vexlo::ListDevices()) d->cboDevice->addItem(QString::fromStdString(dev));
        d->cboDevice->setCurrentIndex(-1);
        d->cboDevice->setEditText(typed);
    }
    d->cboPrinter->setToolTip(d->spoolerError.isEmpty() ? tr("Printers of the print spooler")
                                                        : d->spoolerError);

    if (!firstTime) {
        setDestination(before);
        return;
    }
    // Nothing chosen yet: the spooler's default, else the first device found.
    if (queues.hasDefault) {
        setDestination({LinkDestination::Kind::Spooler, queues.names.front()});
    } else if (d->cboDevice->count() > 0) {
        setDestination({LinkDestination::Kind::Device, d->cboDevice->itemText(0).toStdString()});
    } else if (!queues.names.empty()) {
        setDestination({LinkDestination::Kind::Spooler, queues.names.front()});
    } else {
        setDestination({});
    }
}

LinkDestination VexloComm::destination() const {
    if (d->optPrinter->isChecked()) {
        const QString queue = d->cboPrinter->currentText();
        if (!queue.isEmpty()) return {LinkDestination::Kind::Spooler, queue.toStdString()};
    } else if (d->optDevice->isChecked()) {
        const QString path = d->cboDevice->currentText().trimmed();
        if (!path.isEmpty()) return {LinkDestination::Kind::Device, path.toStdString()};
    }
    return {};
}

void VexloComm::setDestination(const LinkDestination& destination) {
    const QString name = QString::fromStdString(destination.name);
    switch (destination.kind) {
    case LinkDestination::Kind::Spooler:
        d->selectPrinter(name);
        d->choose(d->optPrinter);
        break;
    case LinkDestination::Kind::Device:
        d->cboDevice->setEditText(name);
        d->choose(d->optDevice);
        break;
    case LinkDestination::Kind::None:
        d->choose(nullptr);
        break;
    }
    d->updateLine();
}

QString VexloComm::nextJobText() const {
    if (d->outputToFile) {
        return d->outputFileName.empty()
                   ? tr("Next job: to a file (no file name given)")
                   : tr("Next job: file %1").arg(QString::fromStdString(d->outputFileName));
    }
    const LinkDestination dest = destination();
    switch (dest.kind) {
    case LinkDestination::Kind::Spooler:
        return tr("Next job: printer \"%1\"").arg(QString::fromStdString(dest.name));
    case LinkDestination::Kind::Device:
        return tr("Next job: %1").arg(QString::fromStdString(dest.name));
    case LinkDestination::Kind::None:
        break;
    }
    return tr("No printer or device is chosen.");
}

void VexloComm::setShowSpooler(bool on) {
    d->optPrinter->setVisible(on);
    d->cboPrinter->setVisible(on);
}

void VexloComm::setShowFile(bool on) {
    d->optDevice->setVisible(on);
    d->cboDevice->setVisible(on);
}

// --- jobs ------------------------------------------------------------------

void VexloComm::StartJob() {
    // An unfinished job is dropped: it was never meant to reach the printer.
    d->job.clear();
    d->jobOpen = true;
}

void VexloComm::AddCommand(const std::string& command) {
    if (!d->jobOpen) throw LinkError("A command was added while no print job was started.");
    d->job += command;
}

void VexloComm::EndJob() {
    if (!d->jobOpen) throw LinkError("A print job was ended that was never started.");
    std::string bytes;
    bytes.swap(d->job);
    d->jobOpen = false;

    BusyCursor busy;
    if (d->outputToFile) {
        vexlo::ReplaceFile(d->outputFileName, bytes);
        return;
    }
    const LinkDestination dest = destination();
    switch (dest.kind) {
    case LinkDestination::Kind::Spooler:
        vexlo::SendToSpooler(dest.name, bytes, JobTitle);
        return;
    case LinkDestination::Kind::Device:
        vexlo::WriteToDevice(dest.name, bytes);
        return;
    case LinkDestination::Kind::None:
        break;
    }
    throw LinkError("No printer or device is chosen in the Settings box.");
}

void VexloComm::setOutputToFile(bool on) {
    d->outputToFile = on;
    d->updateLine();
}

void VexloComm::setOutputMode(int32_t mode) {
    d->outputMode = mode;
}

void VexloComm::setOutputFileName(const std::string& path) {
    d->outputFileName = path;
    d->updateLine();
}

bool VexloComm::outputToFile() const { return d->outputToFile; }
int32_t VexloComm::outputMode() const { return d->outputMode; }
std::string VexloComm::outputFileName() const { return d->outputFileName; }

// --- settings per name -----------------------------------------------------

QString VexloComm::settingsPath() {
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + "/.config";
    return base + "/kelvane/VexloComm.ini";
}

void VexloComm::LoadSettings(const std::string& name) {
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.beginGroup(GroupFor(name));
    if (!settings.contains("Use")) return;  // never saved: keep the defaults

    const QString printer = settings.value("Printer").toString();
    const QString device = settings.value("Device").toString();
    const QString use = settings.value("Use").toString();
    if (!printer.isEmpty()) d->selectPrinter(printer);
    d->cboDevice->setEditText(device);
    if (use == KindText(LinkDestination::Kind::Spooler) && !printer.isEmpty()) {
        setDestination({LinkDestination::Kind::Spooler, printer.toStdString()});
    } else if (use == KindText(LinkDestination::Kind::Device) && !device.isEmpty()) {
        setDestination({LinkDestination::Kind::Device, device.toStdString()});
    } else {
        setDestination({});
    }
}

void VexloComm::SaveSettings(const std::string& name) {
    const QString path = settingsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(GroupFor(name));
    settings.setValue("Use", KindText(destination().kind));
    settings.setValue("Printer", d->cboPrinter->currentText());
    settings.setValue("Device", d->cboDevice->currentText().trimmed());
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        throw LinkError("Cannot save the printer settings to " + path.toStdString() +
                        ". Check that this folder may be written.");
    }
}

}  // namespace kelvane
