// The printer-link control: the choice of destination on screen. Jobs,
// delivery and the settings kept per name are the VexloLink's.
#include "vexlo_comm.hpp"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <functional>
#include <thread>

#include "vexlo_delivery.hpp"

namespace kelvane {
namespace {

// When a control that is never drawn reads the devices and queues.
constexpr int ListingUnshownMs = 100;

// Keeps the wait cursor up while a job is on its way.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

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

void RunKeepingPainted(const std::function<void()>& work) {
    BusyCursor busy;
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    while (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

struct VexloComm::Impl {
    VexloComm* q = nullptr;
    QRadioButton* optPrinter = nullptr;
    QComboBox* cboPrinter = nullptr;
    QToolButton* cmdRefresh = nullptr;
    QRadioButton* optDevice = nullptr;
    QComboBox* cboDevice = nullptr;
    ElidedLabel* lblNextJob = nullptr;
    QButtonGroup* choice = nullptr;

    VexloLink link;
    std::vector<std::string> devices;
    bool listed = false;  // the spooler's queues were read at least once
    bool devicesListed = false;
    bool listingStarted = false;
    bool showing = false;

    void check(QRadioButton* which) {
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

    // The control shows what the link holds.
    void show() {
        showing = true;
        const QSignalBlocker b1(cboPrinter), b2(cboDevice), b3(choice);
        const auto& queues = link.queues();
        bool same = cboPrinter->count() >= static_cast<int>(queues.names.size());
        for (size_t i = 0; same && i < queues.names.size(); ++i) {
            same = cboPrinter->itemText(static_cast<int>(i)).toStdString() == queues.names[i];
        }
        if (!same || cboPrinter->count() != static_cast<int>(queues.names.size())) {
            cboPrinter->clear();
            for (const auto& name : queues.names) cboPrinter->addItem(QString::fromStdString(name));
        }
        const QString printer = QString::fromStdString(link.printer());
        if (cboPrinter->currentText() != printer || printer.isEmpty()) selectPrinter(printer);

        const QString device = QString::fromStdString(link.device());
        if (cboDevice->currentText().trimmed() != device) cboDevice->setEditText(device);

        switch (link.use()) {
        case LinkDestination::Kind::Spooler: check(optPrinter); break;
        case LinkDestination::Kind::Device: check(optDevice); break;
        case LinkDestination::Kind::None: check(nullptr); break;
        }
        lblNextJob->setFullText(QString::fromStdString(link.nextJobText()));
        showing = false;
    }

    // The user changed something in the control: that is a choice.
    void edited(LinkDestination::Kind use) {
        if (showing) return;
        link.choose(use, cboPrinter->currentText().toStdString(), cboDevice->currentText().trimmed().toStdString());
    }
    LinkDestination::Kind checkedKind() const {
        if (optPrinter->isChecked()) return LinkDestination::Kind::Spooler;
        if (optDevice->isChecked()) return LinkDestination::Kind::Device;
        return LinkDestination::Kind::None;
    }

    void listDevices() { takeDevices(vexlo::ListDevices()); }

    void takeDevices(std::vector<std::string> found) {
        devicesListed = true;
        devices = std::move(found);
        const QSignalBlocker b(cboDevice);
        const QString typed = cboDevice->currentText();
        cboDevice->clear();
        for (const auto& dev : devices) cboDevice->addItem(QString::fromStdString(dev));
        cboDevice->setCurrentIndex(-1);
        cboDevice->setEditText(typed);
    }

    // Devices first: they are at hand, the spooler may take its time.
    void startListing() {
        if (listingStarted) return;
        listingStarted = true;
        QPointer<VexloComm> self(q);
        std::thread([self, list = vexlo::SpoolerQueueLister()] {
            std::vector<std::string> found = vexlo::ListDevices();
            QMetaObject::invokeMethod(qApp, [self, found] {
                if (self && !self->d->devicesListed) self->d->takeDevices(found);
            }, Qt::QueuedConnection);
            const vexlo::SpoolerQueues queues = list();
            QMetaObject::invokeMethod(qApp, [self, queues] {
                if (self && !self->d->listed) self->d->takeQueues(queues);
            }, Qt::QueuedConnection);
        }).detach();
    }

    void takeQueues(const vexlo::SpoolerQueues& queues) {
        listed = true;
        cboPrinter->setToolTip(queues.error.empty() ? VexloComm::tr("Printers of the print spooler")
                                                    : QString::fromStdString(queues.error));
        link.setQueues(queues);
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

    d->link.setOnChange([this] { d->show(); });
    d->link.setWaiter(RunKeepingPainted);

    connect(d->choice, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
        if (on) d->edited(d->checkedKind());
    });
    connect(d->cboPrinter, &QComboBox::currentTextChanged, this, [this] { d->edited(d->checkedKind()); });
    connect(d->cboDevice, &QComboBox::currentTextChanged, this, [this] { d->edited(d->checkedKind()); });
    // Picking or typing a destination means using it.
    connect(d->cboPrinter, &QComboBox::activated, this, [this] { d->edited(LinkDestination::Kind::Spooler); });
    connect(d->cboDevice, &QComboBox::activated, this, [this] { d->edited(LinkDestination::Kind::Device); });
    connect(d->cboDevice->lineEdit(), &QLineEdit::textEdited, this,
            [this] { d->edited(LinkDestination::Kind::Device); });
    connect(d->cmdRefresh, &QToolButton::clicked, this, &VexloComm::refresh);

    d->show();
    // The devices and the spooler's queues are read in the background once
    // the control has been drawn: the first window waits for neither (loading
    // the spooler's library alone takes longer than drawing the window), and
    // the spooler may be slow or far away. A control that is not shown reads
    // them a little later all the same.
    QTimer::singleShot(ListingUnshownMs, this, [this] { d->startListing(); });
}

void VexloComm::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!d->listingStarted) QTimer::singleShot(0, this, [this] { d->startListing(); });
}

VexloComm::~VexloComm() {
    d->link.setOnChange(nullptr);
}

void VexloComm::refresh() {
    BusyCursor busy;
    d->listDevices();
    d->takeQueues(vexlo::ListSpoolerQueues());
    d->show();
}

bool VexloComm::queuesListed() const { return d->listed; }

VexloLink& VexloComm::link() { return d->link; }

LinkDestination VexloComm::destination() const { return d->link.destination(); }

void VexloComm::setDestination(const LinkDestination& destination) { d->link.setDestination(destination); }

QString VexloComm::nextJobText() const { return QString::fromStdString(d->link.nextJobText()); }

void VexloComm::setShowSpooler(bool on) {
    d->optPrinter->setVisible(on);
    d->cboPrinter->setVisible(on);
}

void VexloComm::setShowFile(bool on) {
    d->optDevice->setVisible(on);
    d->cboDevice->setVisible(on);
}

// --- jobs ------------------------------------------------------------------

void VexloComm::StartJob() { d->link.StartJob(); }

void VexloComm::AddCommand(const std::string& command) { d->link.AddCommand(command); }

void VexloComm::EndJob() {
    {
        BusyCursor busy;
        d->link.EndJob();
    }
    if (!d->link.notice().empty()) emit noticed(QString::fromStdString(d->link.notice()));
}

void VexloComm::setOutputToFile(bool on) { d->link.setOutputToFile(on); }
void VexloComm::setOutputMode(int32_t mode) { d->link.setOutputMode(mode); }
void VexloComm::setOutputFileName(const std::string& path) { d->link.setOutputFileName(path); }

bool VexloComm::outputToFile() const { return d->link.outputToFile(); }
int32_t VexloComm::outputMode() const { return d->link.outputMode(); }
std::string VexloComm::outputFileName() const { return d->link.outputFileName(); }

// --- settings per name -----------------------------------------------------

QString VexloComm::settingsPath() {
    return QString::fromStdString(VexloLink::DefaultSettingsPath());
}

void VexloComm::LoadSettings(const std::string& name) { d->link.LoadSettings(name); }

void VexloComm::SaveSettings(const std::string& name) { d->link.SaveSettings(name); }

}  // namespace kelvane
