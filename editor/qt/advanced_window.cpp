#include "advanced_window.hpp"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <exception>

#include "app.hpp"
#include "settings_files.hpp"
#include "simple_window.hpp"
#include "vexlo_comm.hpp"

namespace kelvane {

namespace {

const QString SettingFilesFilter = QStringLiteral("Setting Files (*.prn)");
const QString AllFilesFilter = QStringLiteral("All Files (*.*)");

// The character code a key press carries, or -1 for an editing key that
// carries none (Delete, Home, End, the arrows), whatever text the platform
// gives it.
int KeyCode(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    default: break;
    }
    // Other special keys edit or move; Delete may bring text 0x7F along.
    if (event->key() >= Qt::Key_Escape && event->key() != Qt::Key_unknown) return -1;
    const QString text = event->text();
    if (text.isEmpty()) return -1;
    if (text.size() != 1) return 0;
    int code = text.at(0).unicode();
    // Some platforms report Ctrl+letter with the plain letter as text; it is
    // still the control character.
    if ((event->modifiers() & Qt::ControlModifier) && code < 0x80 && text.at(0).isLetter()) code &= 0x1F;
    return code;
}

// Upper-cases the box's text, leaving the caret and selection where they were.
void UpperCase(QLineEdit* box) {
    const QString upper = box->text().toUpper();
    if (upper == box->text()) return;
    const int cursor = box->cursorPosition();
    const int selectionStart = box->selectionStart();
    const int selectionLength = static_cast<int>(box->selectedText().size());
    box->setText(upper);
    if (selectionStart < 0) {
        box->setCursorPosition(cursor);
    } else if (cursor == selectionStart) {
        box->setSelection(selectionStart + selectionLength, -selectionLength);
    } else {
        box->setSelection(selectionStart, selectionLength);
    }
}

QString Reason(const std::exception& e) { return QString::fromStdString(e.what()); }

// The settings-file dialog. A name with a wildcard filters the list instead
// of naming a file, and a change of file type keeps the name as it is.
class SettingsFileDialog : public QFileDialog {
public:
    explicit SettingsFileDialog(QWidget* parent) : QFileDialog(parent) {
        setOption(QFileDialog::DontUseNativeDialog);
        auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!types || !name) return;
        // The index changes before the dialog reacts to the new type.
        connect(types, &QComboBox::currentIndexChanged, this, [this, name] {
            nameBeforeType_ = name->text();
            typeChanged_ = true;
        });
        connect(this, &QFileDialog::filterSelected, this, [this, name](const QString& filter) {
            if (typeChanged_ && name->text() != nameBeforeType_) name->setText(nameBeforeType_);
            typeChanged_ = false;
            // "*.*" means every file to the user, also one without a dot in its name.
            if (filter == AllFilesFilter) setListPatterns({QStringLiteral("*")});
        });
    }

    void accept() override {
        // The name field as typed: the dialog's own selection may still be
        // the file that was clicked before.
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = name ? QFileInfo(name->text()).fileName() : QString();
        if (typed.contains(QLatin1Char('*')) || typed.contains(QLatin1Char('?'))) {
            setListPatterns(typed.split(QLatin1Char(';'), Qt::SkipEmptyParts));
            return;
        }
        QFileDialog::accept();
    }

private:
    void setListPatterns(const QStringList& patterns) {
        if (auto* model = findChild<QFileSystemModel*>()) model->setNameFilters(patterns);
    }

    QString nameBeforeType_;
    bool typeChanged_ = false;
};

}  // namespace

formAdvanced::formAdvanced(formSimple* simple) : simple_(simple), parallelPort_(simple->parallelPort()) {
    setObjectName(QStringLiteral("formAdvanced"));
    setWindowTitle(QStringLiteral("Kelvane - Advanced Mode"));
    setWindowIcon(ProgramIcon());
    setFont(WindowFont());
    setFixedSize(Twips(5115), Twips(7260));

    // Frames first, so that the rows laid over them stay on top.
    Frame3 = MakeFrame(this, "Frame3", QStringLiteral("Memory Switch"), TwipsRect(240, 120, 3015, 2655));
    Frame4 = MakeFrame(this, "Frame4", QStringLiteral("Hex Value"), TwipsRect(3360, 120, 1455, 2655));
    frnReset = MakeFrame(this, "frnReset", QStringLiteral("Reset"), TwipsRect(240, 2880, 2775, 735));
    Frame2 = MakeFrame(this, "Frame2", QStringLiteral("Setting Session"), TwipsRect(240, 3720, 4575, 855));
    Frame1 = MakeFrame(this, "Frame1", QStringLiteral("Settings"), TwipsRect(240, 4680, 4575, 1935));

    auto* hexDigits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,4}")), this);
    for (int i = 0; i < RowCount; ++i) {
        Combo1[i] = new QComboBox(this);
        Combo1[i]->setObjectName(QStringLiteral("Combo1(%1)").arg(i));
        Combo1[i]->setGeometry(TwipsRect(360, 360 + 480 * i, 2775, 315));
        FollowTypedText(Combo1[i]);

        Text1[i] = new QLineEdit(this);
        Text1[i]->setObjectName(QStringLiteral("Text1(%1)").arg(i));
        Text1[i]->setGeometry(TwipsRect(3480, 360 + 480 * i, 1215, 315));
        Text1[i]->setMaxLength(4);
        Text1[i]->installEventFilter(this);
        // Paste by mouse, drops and input methods pass no key filter; what
        // they bring would go into the command as it stands.
        Text1[i]->setValidator(hexDigits);
    }

    cmdReset = MakeButton(frnReset, QStringLiteral("cmdReset"), QStringLiteral("Reset All Memory Switches"),
                          TwipsRect(240, 240, 2295, 375));
    Uncheck[0] = MakeButton(this, QStringLiteral("Uncheck(0)"), QStringLiteral("Clear All"),
                            TwipsRect(3480, 3120, 1215, 375));
    Start_Session = MakeButton(Frame2, QStringLiteral("Start_Session"), QStringLiteral("Start Session"),
                               TwipsRect(360, 360, 1215, 255));
    Save_switches = MakeButton(Frame2, QStringLiteral("Save_switches"), QStringLiteral("Save Switches"),
                               TwipsRect(1680, 360, 1215, 255));
    Save_switches->setToolTip(QStringLiteral("Save Customer Specific Settings"));
    Load_Switches = MakeButton(Frame2, QStringLiteral("Load_Switches"), QStringLiteral("Load Switches"),
                               TwipsRect(3000, 360, 1335, 255));
    Load_Switches->setToolTip(QStringLiteral("Load Customer Specific Settings"));

    VexloComm1 = new VexloComm(Frame1);
    VexloComm1->setObjectName(QStringLiteral("VexloComm1"));
    VexloComm1->setGeometry(TwipsRect(600 - 240, 4920 - 4680, 3825, 1560));
    VexloComm1->setShowSpooler(true);
    VexloComm1->setShowFile(true);
    connect(VexloComm1, &VexloComm::noticed, this, [this](const QString& text) { ShowWarning(this, text); });

    cmdSndPrn = MakeButton(this, QStringLiteral("cmdSndPrn"), QStringLiteral("Send to Printer"),
                           TwipsRect(240, 6720, 1335, 375));
    cmdSimple = MakeButton(this, QStringLiteral("cmdSimple"), QStringLiteral("<< Simple Mode <<"),
                           TwipsRect(1800, 6720, 1575, 375));
    cmdExit = MakeButton(this, QStringLiteral("cmdExit"), QStringLiteral("Exit"), TwipsRect(3600, 6720, 1215, 375));

    CommonDialog2 = new SettingsFileDialog(this);
    CommonDialog2->setObjectName(QStringLiteral("CommonDialog2"));
    CommonDialog2->setNameFilters({SettingFilesFilter, AllFilesFilter});
    // There is no "C:\" here: the first use starts in the user's home folder.
    CommonDialog2->setDirectory(QDir::homePath());

    QWidget* order[] = {Text1[0], Combo1[0], Text1[1], Combo1[1], Text1[2], Combo1[2], Text1[3], Combo1[3],
                        Text1[4], Combo1[4], cmdSndPrn, cmdReset, cmdExit, cmdSimple, VexloComm1, Uncheck[0],
                        Start_Session, Save_switches, Load_Switches};
    for (size_t k = 1; k < std::size(order); ++k) setTabOrder(order[k - 1], order[k]);

    connect(Uncheck[0], &QPushButton::clicked, this, [this] { Uncheck_Click(0); });
    connect(cmdSndPrn, &QPushButton::clicked, this, [this] { cmdSndPrn_Click(); });
    connect(cmdReset, &QPushButton::clicked, this, [this] { cmdReset_Click(); });
    connect(Start_Session, &QPushButton::clicked, this, [this] { Start_Session_Click(); });
    connect(Save_switches, &QPushButton::clicked, this, [this] { Save_switches_Click(); });
    connect(Load_Switches, &QPushButton::clicked, this, [this] { Load_Switches_Click(); });
    connect(cmdSimple, &QPushButton::clicked, this, [this] { cmdSimple_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
}

formAdvanced::~formAdvanced() = default;

void formAdvanced::Load() {
    session_.Load();
    for (QComboBox* selector : Combo1) FillSwitchSelector(selector);
    Text1[0]->setFocus();
    loaded_ = true;
    try {
        VexloComm1->LoadSettings(WindowSettingsName);
    } catch (const std::exception& e) {
        ShowWarningWhenShown(this, Reason(e));
    }
}

void formAdvanced::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    try {
        VexloComm1->SaveSettings(WindowSettingsName);
    } catch (const std::exception& e) {
        ShowFailure(this, Reason(e));
    }
    hide();
}

QString formAdvanced::LimitTextInput(int keyCode) {
    static const QString allowed = QStringLiteral("0123456789ABCDEFabcdef");
    if (keyCode == 8) return QString::number(keyCode);
    if (keyCode > 0 && keyCode < 0x10000 && allowed.contains(QChar(keyCode), Qt::CaseSensitive))
        return QString::number(keyCode);
    return QStringLiteral("0");
}

bool formAdvanced::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (int i = 0; i < RowCount; ++i) {
            if (watched == Text1[i]) return Text1_KeyPress(i, static_cast<QKeyEvent*>(event));
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool formAdvanced::Text1_KeyPress(int index, QKeyEvent* event) {
    // Tab moves on through the rows; it is no character for the box.
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) return false;
    // Only hex digits may reach the box, so no paste either.
    if (event->matches(QKeySequence::Paste)) return true;
    const int code = KeyCode(event);
    if (code < 0) return false;

    const int keyCode = LimitTextInput(code).toInt();
    for (QLineEdit* box : Text1) {
        // Setting the limit rewrites the text and moves the caret: only when it differs.
        if (box->maxLength() != 4) box->setMaxLength(4);
        UpperCase(box);
    }
    if (keyCode == 0) return true;
    if (keyCode == 8) {
        Text1[index]->backspace();
    } else {
        Text1[index]->insert(QString(QChar(keyCode)).toUpper());
    }
    return true;
}

void formAdvanced::Uncheck_Click(int /*index*/) {
    for (int i = 0; i < RowCount; ++i) {
        Text1[i]->clear();
        Combo1[i]->setCurrentIndex(0);
    }
}

void formAdvanced::cmdSndPrn_Click() {
    std::array<Row, RowCount> rows;
    for (int r = 0; r < RowCount; ++r) {
        rows[r].listPosition = static_cast<int16_t>(Combo1[r]->currentIndex());
        rows[r].valueText = Text1[r]->text().toStdString();
        // Number text "FFFF" would write the value into a switch nobody chose.
        if (!rows[r].valueText.empty() && rows[r].listPosition < 0) {
            ShowWarning(this, QStringLiteral("Row %1 has a value but no memory switch. Choose a memory switch "
                                             "from the list of row %1 before sending.")
                                  .arg(r + 1));
            return;
        }
    }
    try {
        AdvancedSend(*VexloComm1, rows, session_);
    } catch (const std::exception& e) {
        ShowFailure(this, Reason(e));
    }
}

void formAdvanced::cmdReset_Click() {
    try {
        ResetAllMemorySwitches(*VexloComm1, [this](const std::string& prompt) { return AskConfirm(this, prompt); });
    } catch (const std::exception& e) {
        ShowFailure(this, Reason(e));
    }
}

void formAdvanced::Start_Session_Click() {
    try {
        StartSession(*VexloComm1, session_, [this](const std::string& prompt) { return AskConfirm(this, prompt); });
    } catch (const std::exception& e) {
        ShowFailure(this, Reason(e));
    }
}

QString formAdvanced::RunFileDialog(bool save) {
    CommonDialog2->setWindowTitle(save ? QStringLiteral("Save") : QStringLiteral("Open"));
    CommonDialog2->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    CommonDialog2->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    CommonDialog2->selectNameFilter(SettingFilesFilter);
    // One dialog serves both buttons: the name chosen last is offered again.
    if (!dialogFileName_.isEmpty()) {
        const QFileInfo last(dialogFileName_);
        CommonDialog2->setDirectory(last.absolutePath());
        CommonDialog2->selectFile(last.fileName());
    }
    if (CommonDialog2->exec() != QDialog::Accepted) return {};
    const QStringList chosen = CommonDialog2->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return {};
    dialogFileName_ = chosen.first();
    return dialogFileName_;
}

void formAdvanced::Save_switches_Click() {
    if (!session_.SessionHasValues) {
        ShowWarning(this, QString::fromLatin1(NoSessionMessage));
        return;
    }
    // A cancel ends the save: writing to the previous name would replace that file.
    const QString path = RunFileDialog(true);
    if (path.isEmpty()) return;
    try {
        SaveSessionToFile(*VexloComm1, session_, path.toStdString());
    } catch (const std::exception& e) {
        ShowFailure(this, Reason(e));
    }
}

void formAdvanced::Load_Switches_Click() {
    // A cancel ends the load: the previous file would go to the printer again.
    const QString path = RunFileDialog(false);
    if (path.isEmpty()) return;
    try {
        std::exception_ptr failure;
        RunKeepingPainted([&] {
            try {
                ReplayFile(path.toStdString(), parallelPort_);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure) std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        ShowFailure(this, Reason(e));
    }
}

void formAdvanced::cmdSimple_Click() {
    hide();
    simple_->ShowAgain();
}

void formAdvanced::cmdExit_Click() {
    Unload();
    simple_->Unload();
    simple_->CheckProgramEnd();
}

void formAdvanced::closeEvent(QCloseEvent* event) {
    // The close box ends the program as "Exit" does; otherwise the hidden
    // simple window would keep it running with nothing on screen.
    if (loaded_) cmdExit_Click();
    event->accept();
}

}  // namespace kelvane
