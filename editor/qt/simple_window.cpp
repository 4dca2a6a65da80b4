#include "simple_window.hpp"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <exception>

#include "advanced_window.hpp"
#include "app.hpp"
#include "send_session.hpp"
#include "vexlo_comm.hpp"

namespace kelvane {

formSimple::formSimple(QWidget* parent)
    : QWidget(parent), parallelPort_(ReadParallelPort(EditorSettingsPath())) {
    setObjectName(QStringLiteral("formSimple"));
    setWindowTitle(QStringLiteral("Kelvane - Simple Mode"));
    setWindowIcon(ProgramIcon());
    setFont(WindowFont());
    setFixedSize(Twips(4920), Twips(6135));

    Frame1 = MakeFrame(this, "Frame1", QStringLiteral("Settings"), TwipsRect(120, 3600, 4695, 1935));
    Frame2 = MakeFrame(this, "Frame2", QStringLiteral("Bits"), TwipsRect(120, 120, 2055, 3255));
    Frame3 = MakeFrame(this, "Frame3", QStringLiteral("Value to be set"), TwipsRect(2280, 600, 2415, 1095));

    cboMemSw = new QComboBox(this);
    cboMemSw->setObjectName(QStringLiteral("cboMemSw"));
    cboMemSw->setGeometry(TwipsRect(2400, 120, 1815, 315));
    FollowTypedText(cboMemSw);

    cmdSend2Prn = MakeButton(this, "cmdSend2Prn", QStringLiteral("Send to Printer"), TwipsRect(120, 5640, 1335, 375));
    cmdAdv = MakeButton(this, "cmdAdv", QStringLiteral(">> Advanced >>"), TwipsRect(1800, 5640, 1335, 375));
    cmdCancel = MakeButton(this, "cmdCancel", QStringLiteral("E&xit"), TwipsRect(3480, 5640, 1215, 375));
    Uncheck_all = MakeButton(this, "Uncheck_all", QStringLiteral("Uncheck All"), TwipsRect(2640, 1800, 1815, 375));

    for (int i = 0; i < 16; ++i) {
        const bool left = i < 8;
        int width = left ? 1095 : 735;
        if (i == 3) width = 975;
        if (i == 7) width = 855;
        auto* box = new QCheckBox(QStringLiteral("Bit %1:").arg(QString::number(i, 16).toUpper()), Frame2);
        box->setObjectName(QStringLiteral("Check1(%1)").arg(i));
        box->setGeometry(TwipsRect(left ? 240 : 1320, 360 + 360 * (i % 8), width, 435));
        // toggled, not clicked: changes made by the program recompute too.
        connect(box, &QCheckBox::toggled, this, [this] { UpdateValue(); });
        Check1[i] = box;
    }

    Label1 = new QLabel(Frame3);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(TwipsRect(120, 360, 2055, 255));
    Label2 = new QLabel(Frame3);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(TwipsRect(120, 720, 2055, 255));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(TwipsRect(2520, 2280, 2100, 795));
    Image1->setPixmap(SimpleWindowPicture());
    Image1->setScaledContents(true);

    VexloComm1 = new VexloComm(Frame1);
    VexloComm1->setObjectName(QStringLiteral("VexloComm1"));
    VexloComm1->setGeometry(TwipsRect(600 - 120, 3840 - 3600, 3825, 1560));
    VexloComm1->setShowSpooler(true);
    VexloComm1->setShowFile(true);
    connect(VexloComm1, &VexloComm::noticed, this, [this](const QString& text) { ShowWarning(this, text); });

    QWidget* order[] = {cboMemSw, cmdSend2Prn, cmdAdv, cmdCancel, Uncheck_all};
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (previous) setTabOrder(previous, w);
        previous = w;
    }
    for (int i = 15; i >= 0; --i) {
        setTabOrder(previous, Check1[i]);
        previous = Check1[i];
    }
    setTabOrder(previous, VexloComm1);

    connect(Uncheck_all, &QPushButton::clicked, this, [this] { Uncheck_all_Click(); });
    connect(cmdSend2Prn, &QPushButton::clicked, this, [this] { cmdSend2Prn_Click(); });
    connect(cmdAdv, &QPushButton::clicked, this, [this] { cmdAdv_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { Exit(); });
}

formSimple::~formSimple() = default;

void formSimple::Load() {
    FillSwitchSelector(cboMemSw);
    loaded_ = true;
    // Settings that cannot be read leave the defaults; the user hears why.
    QStringList unread;
    if (!parallelPort_.problem.empty()) unread << QString::fromStdString(parallelPort_.problem);
    try {
        VexloComm1->LoadSettings(WindowSettingsName);
    } catch (const std::exception& e) {
        unread << QString::fromStdString(e.what());
    }
    if (!unread.isEmpty()) ShowWarningWhenShown(this, unread.join(QStringLiteral("\n\n")));
}

void formSimple::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    try {
        VexloComm1->SaveSettings(WindowSettingsName);
    } catch (const std::exception& e) {
        ShowFailure(this, QString::fromStdString(e.what()));
    }
    hide();
}

void formSimple::Exit() {
    Unload();
    if (advanced_) advanced_->Unload();
    CheckProgramEnd();
}

void formSimple::ShowAgain() {
    show();
    activateWindow();
}

void formSimple::CheckProgramEnd() {
    if (loaded_ || (advanced_ && advanced_->isLoaded())) return;
    emit programEnded();
}

void formSimple::closeEvent(QCloseEvent* event) {
    // The close box ends the program as "E&xit" does; otherwise a hidden
    // advanced window would keep it running with nothing on screen.
    if (loaded_) Exit();
    event->accept();
}

int32_t formSimple::cBinary(const QString& BinaryString) {
    int32_t result = 0;
    int32_t weight = 1;
    for (qsizetype position = BinaryString.size(); position >= 1; --position) {
        const QChar c = BinaryString.at(position - 1);
        const int32_t digit = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : 0;
        result += digit * weight;
        weight *= 2;
    }
    return result;
}

void formSimple::UpdateValue() {
    QString bits;
    for (int k = 0; k <= 15; ++k) bits += Check1[15 - k]->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    Label1->setText(QStringLiteral("Binary: ") + bits);

    QString hex;
    for (int i = 1; i <= 4; ++i) hex += QString::number(cBinary(bits.mid(4 * i - 4, 4)), 16).toUpper();
    Label2->setText(QStringLiteral("Hex:   ") + hex);
    CurrentValue = hex;
    emit valueUpdated(CurrentValue);
}

void formSimple::Uncheck_all_Click() {
    // One at a time and in order: every box that changes recomputes before the next is set.
    for (QCheckBox* box : Check1) box->setChecked(false);
}

void formSimple::cmdSend2Prn_Click() {
    const int index = cboMemSw->currentIndex();
    if (index < 0) {
        // Number text "FFFF" would write the value into a switch nobody chose.
        ShowWarning(this, QStringLiteral("Choose a memory switch from the list before sending."));
        return;
    }
    // Before any box has changed the sixteen unticked boxes stand for 0000.
    const QString value = CurrentValue.isEmpty() ? QStringLiteral("0000") : CurrentValue;
    CurrentSwitch = QString::fromStdString(NumberText(static_cast<int16_t>(index)));
    try {
        SimpleSend(*VexloComm1, static_cast<int16_t>(index), value.toStdString());
    } catch (const std::exception& e) {
        ShowFailure(this, QString::fromStdString(e.what()));
    }
}

void formSimple::cmdAdv_Click() {
    hide();
    if (!advanced_) {
        advanced_ = std::make_unique<formAdvanced>(this);
        advanced_->Load();
    }
    advanced_->show();
    advanced_->activateWindow();
}

}  // namespace kelvane
