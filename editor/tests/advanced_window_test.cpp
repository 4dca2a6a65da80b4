// formAdvanced and the hand-over between the windows, driven through their
// real controls; the links write to files standing in for the printer.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "advanced_window.hpp"
#include "simple_window.hpp"
#include "vexlo_comm.hpp"
#include "window_test_support.hpp"

using namespace windowtest;
using kelvane::formAdvanced;
using kelvane::formSimple;
using kelvane::LinkDestination;

namespace {

const std::string Closing = "1B 1D 23 54 30 30 30 30 30 0A 00";
const std::string ClearAll = "1B 1D 23 40 30 30 30 30 30 0A 00";

// What the file dialog showed when it came up.
struct DialogSeen {
    bool shown = false;
    QString title;
    QStringList filters;
    QString selectedFilter;
    QString directory;
    QStringList files;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
};

// Types the full path into the dialog's name field, as a user may.
void ChooseFile(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(path);
}

class AdvancedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        simple = std::make_unique<formSimple>();
        simple->Load();
        simple->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(simple.get()));
        simplePrinter = settings.path("simple-printer.bin");
        simple->link()->setDestination({LinkDestination::Kind::Device, simplePrinter.toStdString()});
        QTest::mouseClick(simple->findChild<QPushButton*>("cmdAdv"), Qt::LeftButton);
        form = simple->advanced();
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        printer = settings.path("printer.bin");
        form->link()->setDestination({LinkDestination::Kind::Device, printer.toStdString()});
    }

    template <class T>
    T* child(const QString& name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QLineEdit* text(int i) { return child<QLineEdit>(QStringLiteral("Text1(%1)").arg(i)); }
    QComboBox* combo(int i) { return child<QComboBox>(QStringLiteral("Combo1(%1)").arg(i)); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    void row(int i, int switchNumber, const char* value) {
        combo(i)->setCurrentIndex(switchNumber);
        text(i)->setFocus();
        QTest::keyClicks(text(i), value);
    }
    void sendKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods, const QString& keyText) {
        QKeyEvent press(QEvent::KeyPress, key, mods, keyText);
        QApplication::sendEvent(w, &press);
    }
    // Presses `button`, confirms with OK and returns what the confirmation showed.
    Message confirm(const char* button, QMessageBox::StandardButton answer, const QString& shot = {}) {
        Message seen;
        auto timer = AnswerMessage(seen, answer, shot);
        click(button);
        return seen;
    }
    // Presses `button` and answers the file dialog with `path` (empty: Cancel).
    DialogSeen useDialog(const char* button, const QString& path, const QString& shot = {}) {
        DialogSeen seen;
        auto timer = AnswerModal<QFileDialog>([&seen, path, shot](QFileDialog* d) {
            seen = {true, d->windowTitle(), d->nameFilters(), d->selectedNameFilter(),
                    d->directory().absolutePath(), d->selectedFiles(), d->acceptMode()};
            if (!shot.isEmpty()) testsupport::SaveScreenshot(*d, shot);
            if (path.isEmpty()) {
                d->reject();
            } else {
                ChooseFile(d, path);
                static_cast<QDialog*>(d)->accept();
            }
        });
        click(button);
        return seen;
    }
    std::string storedDevice() {
        QSettings stored(settings.settingsFile(), QSettings::IniFormat);
        return stored.value("MySettings/Device").toString().toStdString();
    }

    SettingsFolder settings;
    std::unique_ptr<formSimple> simple;
    formAdvanced* form = nullptr;
    QString simplePrinter;
    QString printer;
};

TEST_F(AdvancedWindow, OpensAtTheFirstHandOverWithItsLayout) {
    EXPECT_FALSE(simple->isVisible());
    EXPECT_TRUE(form->isVisible() && form->isLoaded());
    EXPECT_EQ(form->windowTitle(), "Kelvane - Advanced Mode");
    EXPECT_EQ(form->size(), QSize(341, 484));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(combo(i)->count(), 16);
        EXPECT_EQ(combo(i)->currentText(), "Memory Switch 0");
        EXPECT_TRUE(text(i)->text().isEmpty());
        EXPECT_EQ(text(i)->geometry(), QRect(232, 24 + 32 * i, 81, 21));
    }
    EXPECT_EQ(combo(4)->geometry(), QRect(24, 152, 185, 21));
    EXPECT_EQ(form->focusWidget(), text(0));
    EXPECT_EQ(child<QPushButton>("Start_Session")->geometry(), QRect(24, 24, 81, 17));
    EXPECT_EQ(child<QPushButton>("Save_switches")->toolTip(), "Save Customer Specific Settings");
    EXPECT_EQ(child<QPushButton>("Load_Switches")->toolTip(), "Load Customer Specific Settings");
    for (auto* button : form->findChildren<QPushButton*>()) {
        if (form->link()->isAncestorOf(button) || form->fileDialog()->isAncestorOf(button)) continue;
        EXPECT_FALSE(button->autoDefault() || button->isDefault()) << button->objectName().toStdString();
    }

    const QStringList order = TabOrder(text(0), 14);
    const QStringList expected = {"Text1(0)", "Combo1(0)", "Text1(1)", "Combo1(1)", "Text1(2)", "Combo1(2)",
                                  "Text1(3)", "Combo1(3)", "Text1(4)", "Combo1(4)", "cmdSndPrn", "cmdReset",
                                  "cmdExit", "cmdSimple"};
    EXPECT_EQ(order, expected);
    const QStringList tail = TabOrder(child<QPushButton>("Uncheck(0)"), 4);
    EXPECT_EQ(tail, QStringList({"Uncheck(0)", "Start_Session", "Save_switches", "Load_Switches"}));

    testsupport::SaveScreenshot(*form, "advanced_window");
}

// Both windows: captions keep clear of their buttons' edges, and each frame
// draws its line through its caption, above the first row of its children.
TEST_F(AdvancedWindow, CaptionsFitTheirButtonsAndFramesCarryTheirCaptionOnTheLine) {
    for (QWidget* window : {static_cast<QWidget*>(simple.get()), static_cast<QWidget*>(form)}) {
        for (auto* button : window->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
            const int text = QFontMetrics(button->font()).horizontalAdvance(button->text().remove('&'));
            EXPECT_LE(text + 8, button->width()) << button->objectName().toStdString();
        }
        for (auto* frame : window->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
            const QImage image = frame->grab().toImage();
            const int line = frame->fontMetrics().height() / 2;
            const QColor background = frame->palette().color(QPalette::Window);
            // Right of the caption the top line is drawn on the caption's middle row.
            EXPECT_NE(image.pixelColor(image.width() - 4, line), background) << frame->objectName().toStdString();
            int firstRow = frame->height();
            for (auto* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) firstRow = std::min(firstRow, child->y());
            EXPECT_GT(firstRow, line) << frame->objectName().toStdString();
        }
    }
}

TEST_F(AdvancedWindow, ValueBoxesTakeOnlyFourHexDigits) {
    QLineEdit* box = text(0);
    box->setFocus();
    QTest::keyClicks(box, "00ff");
    EXPECT_EQ(box->text(), "00FF");
    QTest::keyClicks(box, "1g");
    EXPECT_EQ(box->text(), "00FF");

    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), "00F");
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(box->text(), "0F");
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClicks(box, "a");
    EXPECT_EQ(box->text(), "0AF");

    QTest::keyClicks(text(1), "gx -");
    EXPECT_EQ(text(1)->text(), "");

    // Enter, Escape and control characters carrying their real text.
    QApplication::clipboard()->setText("BB");
    box->selectAll();
    sendKey(box, Qt::Key_Return, {}, "\r");
    sendKey(box, Qt::Key_Escape, {}, "\x1b");
    sendKey(box, Qt::Key_C, Qt::ControlModifier, "\x03");
    sendKey(box, Qt::Key_V, Qt::ControlModifier, "\x16");
    EXPECT_EQ(box->text(), "0AF");
    EXPECT_EQ(QApplication::clipboard()->text(), "BB");  // nothing copied
    // Paste as the keyboard reports it here, and the other paste key.
    QTest::keyClick(text(1), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(text(1), Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(text(1)->text(), "");
    EXPECT_EQ(ReadAll(printer), "<missing>");  // Enter sent nothing

    // Text that came in another way turns upper case at the next key, in any box.
    QApplication::clipboard()->setText("ab");
    text(3)->paste();  // as the context menu and the middle button do
    QTest::keyClick(text(2), Qt::Key_Z);
    EXPECT_EQ(text(3)->text(), "AB");
    // Those ways pass no key filter, yet bring no other characters.
    QApplication::clipboard()->setText("1 G");
    text(4)->paste();
    QInputMethodEvent composed;
    composed.setCommitString("xyz");
    QApplication::sendEvent(text(4), &composed);
    EXPECT_EQ(text(4)->text(), "");

    EXPECT_EQ(formAdvanced::LimitTextInput(8), "8");
    EXPECT_EQ(formAdvanced::LimitTextInput('a'), "97");
    EXPECT_EQ(formAdvanced::LimitTextInput(22), "0");
}

TEST_F(AdvancedWindow, SessionIsSavedInSwitchOrderWhateverTheSendOrder) {
    Message asked = confirm("Start_Session", QMessageBox::Ok, "advanced_start_session_confirm");
    EXPECT_EQ(asked.title, "Are you sure");
    EXPECT_EQ(asked.text, "This will clear all memory switches");
    EXPECT_EQ(asked.icon, QMessageBox::Critical);
    EXPECT_EQ(asked.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(asked.defaultButton, QMessageBox::Ok);
    EXPECT_EQ(ReadAll(printer), Hex(ClearAll + Closing));

    row(3, 10, "7fff");
    row(1, 2, "1");
    click("cmdSndPrn");
    click("Uncheck(0)");
    row(0, 10, "8000");  // a later send of the same switch wins
    row(4, 2, "0123");
    click("cmdSndPrn");
    click("Uncheck(0)");  // clearing the rows keeps the session
    EXPECT_EQ(ReadAll(printer), Hex(ClearAll + Closing + "1B 1D 23 2C 32 31 0A 00 1B 1D 23 2C 41 37 46 46 46 0A 00" +
                                    Closing + "1B 1D 23 2C 41 38 30 30 30 0A 00 1B 1D 23 2C 32 30 31 32 33 0A 00" +
                                    Closing));

    const QString first = settings.path("customer.prn");
    DialogSeen dialog = useDialog("Save_switches", first, "advanced_save_dialog");
    EXPECT_EQ(dialog.title, "Save");
    EXPECT_EQ(dialog.mode, QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.filters, QStringList({"Setting Files (*.prn)", "All Files (*.*)"}));
    EXPECT_EQ(dialog.selectedFilter, "Setting Files (*.prn)");
    EXPECT_EQ(dialog.directory, QDir::homePath());
    EXPECT_EQ(ReadAll(first), Hex("1B 1D 23 2C 32 30 31 32 33 0A 00 1B 1D 23 2C 41 38 30 30 30 0A 00" + Closing));
    EXPECT_EQ(form->link()->outputToFile(), false);

    // A second save holds the closing command alone; the name typed is kept
    // as typed, and the dialog offers the previous name.
    const QString second = settings.path("again");
    dialog = useDialog("Save_switches", second);
    EXPECT_EQ(dialog.files, QStringList({first}));
    EXPECT_EQ(ReadAll(second), Hex(Closing));

    // Jobs reach the printer again afterwards.
    const auto before = ReadAll(printer).size();
    click("cmdSndPrn");
    EXPECT_EQ(ReadAll(printer).size(), before + 11);
}

// The name field holds what the user gave: another file type does not
// rewrite it, and a wildcard filters the list instead of naming a file.
TEST_F(AdvancedWindow, SaveDialogKeepsTheNameAndTakesWildcardsAsFilters) {
    confirm("Start_Session", QMessageBox::Ok);
    row(0, 1, "0001");
    click("cmdSndPrn");
    const QString existing = settings.path("all.prn");
    { QFile f(existing); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }

    QString afterTypeChange;
    bool openAfterWildcard = false;
    QStringList listPatterns;
    auto answer = AnswerModal<QFileDialog>([&](QFileDialog* d) {
        auto* name = d->findChild<QLineEdit*>("fileNameEdit");
        auto* types = d->findChild<QComboBox*>("fileTypeCombo");
        d->setDirectory(settings.path(""));
        name->setText("all.prn");
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        afterTypeChange = name->text();

        name->setText("*.t?t");
        static_cast<QDialog*>(d)->accept();
        openAfterWildcard = d->isVisible();
        listPatterns = d->findChild<QFileSystemModel*>()->nameFilters();
        d->reject();
    });
    click("Save_switches");
    EXPECT_EQ(afterTypeChange, "all.prn");
    EXPECT_TRUE(openAfterWildcard);
    EXPECT_EQ(listPatterns, QStringList({"*.t?t"}));
    EXPECT_EQ(QDir(settings.path("")).entryList({"*.t?t", "all.*"}, QDir::Files), QStringList({"all.prn"}));
    EXPECT_EQ(ReadAll(existing), "");
}

TEST_F(AdvancedWindow, ConfirmationsGuardTheClearAndResetKeepsTheSession) {
    Message asked = confirm("Start_Session", QMessageBox::Cancel);
    EXPECT_TRUE(asked.shown);
    EXPECT_FALSE(form->session().SessionOpen);
    asked = confirm("cmdReset", QMessageBox::Cancel, "advanced_reset_confirm");
    EXPECT_EQ(asked.text, "Are you sure you want to reset all mem switches?");
    EXPECT_EQ(asked.icon, QMessageBox::Critical);
    EXPECT_EQ(ReadAll(printer), "<missing>");

    // Sends without a session record nothing: the save refuses.
    row(0, 5, "12");
    click("cmdSndPrn");
    EXPECT_FALSE(form->session().SessionHasValues);
    DialogSeen dialog;
    Message refused;
    {
        auto noDialog = AnswerModal<QFileDialog>([&dialog](QFileDialog* d) {
            dialog.shown = true;
            d->reject();
        });
        auto timer = AnswerMessage(refused, QMessageBox::Ok, "advanced_no_session_warning");
        click("Save_switches");
    }
    EXPECT_FALSE(dialog.shown);
    EXPECT_EQ(refused.text, "There are no open sessions, start a session first!");
    EXPECT_EQ(refused.title, "Kelvane v2.1");
    EXPECT_EQ(refused.icon, QMessageBox::Warning);

    confirm("Start_Session", QMessageBox::Ok);
    click("cmdSndPrn");
    confirm("cmdReset", QMessageBox::Ok);
    EXPECT_TRUE(form->session().SessionOpen);
    EXPECT_EQ(form->session().SessionValues[5], "12");
}

TEST_F(AdvancedWindow, CancelledDialogsAndRefusedReplaceChangeNothing) {
    confirm("Start_Session", QMessageBox::Ok);
    row(0, 1, "ABCD");
    click("cmdSndPrn");

    // Cancel: nothing written, the values stay recorded.
    EXPECT_TRUE(useDialog("Save_switches", {}).shown);
    EXPECT_EQ(form->session().SessionValues[1], "ABCD");

    // An existing file is replaced only when the user says so.
    const QString existing = settings.path("old.prn");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    Message question;
    {
        auto no = AnswerMessage(question, QMessageBox::No, "advanced_replace_question");
        auto timer = AnswerModal<QFileDialog>([&existing](QFileDialog* d) {
            ChooseFile(d, existing);
            static_cast<QDialog*>(d)->accept();  // asks; No keeps the dialog open
            if (d->isVisible()) d->reject();
        });
        click("Save_switches");
    }
    EXPECT_TRUE(question.shown);
    EXPECT_EQ(ReadAll(existing), "old");
    EXPECT_EQ(form->session().SessionValues[1], "ABCD");
    {
        auto yes = AnswerMessage(question, QMessageBox::Yes);
        useDialog("Save_switches", existing);
    }
    EXPECT_EQ(ReadAll(existing), Hex("1B 1D 23 2C 31 41 42 43 44 0A 00" + Closing));

    // A cancelled open sends nothing, even though the dialog keeps a name.
    const QString port = settings.path("lpt1");
    { QFile f(port); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
    form->setParallelPort(port.toStdString());
    DialogSeen open = useDialog("Load_Switches", {});
    EXPECT_EQ(open.files, QStringList({existing}));
    EXPECT_EQ(ReadAll(port), "");
}

TEST_F(AdvancedWindow, LoadSwitchesPutsTheFileOnTheParallelPortUnchanged) {
    confirm("Start_Session", QMessageBox::Ok);
    row(2, 15, "FFFF");
    click("cmdSndPrn");
    const QString saved = settings.path("replay.prn");
    useDialog("Save_switches", saved);
    const auto sessionBefore = form->session().SessionValues;

    const QString port = settings.path("lpt1");
    { QFile f(port); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
    form->setParallelPort(port.toStdString());
    // "All Files (*.*)" lists every file, also one without a dot.
    QStringList allFilesPatterns;
    auto pickAllFiles = AnswerModal<QFileDialog>([&allFilesPatterns](QFileDialog* d) {
        auto* types = d->findChild<QComboBox*>("fileTypeCombo");
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        allFilesPatterns = d->findChild<QFileSystemModel*>()->nameFilters();
        d->reject();
    });
    click("Load_Switches");
    EXPECT_EQ(allFilesPatterns, QStringList({"*"}));

    DialogSeen dialog = useDialog("Load_Switches", saved, "advanced_open_dialog");
    EXPECT_EQ(dialog.title, "Open");
    EXPECT_EQ(dialog.mode, QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog.filters, QStringList({"Setting Files (*.prn)", "All Files (*.*)"}));
    EXPECT_EQ(ReadAll(port), Hex("1B 1D 23 2C 46 46 46 46 46 0A 00" + Closing));
    EXPECT_EQ(form->session().SessionValues, sessionBefore);
    EXPECT_TRUE(form->session().SessionOpen);

    // A port that cannot be opened is reported; the window goes on.
    form->setParallelPort(settings.path("no/such/lp0").toStdString());
    Message failure;
    {
        auto timer = AnswerMessage(failure, QMessageBox::Ok, "advanced_port_failure");
        useDialog("Load_Switches", saved);
    }
    EXPECT_EQ(failure.title, "Kelvane v2.1");
    EXPECT_TRUE(failure.text.contains("no/such/lp0")) << failure.text.toStdString();
    EXPECT_TRUE(form->isVisible());
}

TEST_F(AdvancedWindow, RowWithoutASwitchRefusesAndLinkFailuresKeepTheRows) {
    confirm("Start_Session", QMessageBox::Ok);
    const auto cleared = ReadAll(printer);
    row(0, 4, "11");
    QLineEdit* edit = combo(3)->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, "Memory Switch Z");
    EXPECT_EQ(combo(3)->currentIndex(), -1);
    text(3)->setFocus();
    QTest::keyClicks(text(3), "22");

    Message refused;
    {
        auto timer = AnswerMessage(refused, QMessageBox::Ok, "advanced_row_without_switch");
        click("cmdSndPrn");
    }
    EXPECT_EQ(refused.icon, QMessageBox::Warning);
    EXPECT_EQ(refused.title, "Kelvane v2.1");
    EXPECT_TRUE(refused.text.contains("row 4", Qt::CaseInsensitive)) << refused.text.toStdString();
    EXPECT_EQ(ReadAll(printer), cleared);
    EXPECT_FALSE(form->session().SessionHasValues);

    // Typing a name selects its entry again; then the link fails.
    edit->selectAll();
    QTest::keyClicks(edit, "MEMORY SWITCH c");
    EXPECT_EQ(combo(3)->currentIndex(), 12);
    form->link()->setDestination({LinkDestination::Kind::Device, settings.path("gone/lp").toStdString()});
    Message failure;
    {
        auto timer = AnswerMessage(failure, QMessageBox::Ok);
        click("cmdSndPrn");
    }
    EXPECT_TRUE(failure.shown);
    EXPECT_EQ(failure.title, "Kelvane v2.1");
    EXPECT_EQ(text(0)->text(), "11");
    EXPECT_EQ(text(3)->text(), "22");
    EXPECT_TRUE(form->session().SessionOpen);
    EXPECT_FALSE(form->session().SessionHasValues);  // nothing reached the printer
}

TEST_F(AdvancedWindow, HandOverKeepsBothWindowsAsTheyWere) {
    confirm("Start_Session", QMessageBox::Ok);
    row(1, 7, "BEEF");
    click("cmdSndPrn");
    combo(2)->setCurrentIndex(9);

    click("cmdSimple");
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(simple->isVisible());
    auto* bit = simple->findChild<QCheckBox*>("Check1(5)");
    bit->setChecked(true);
    auto* selector = simple->findChild<QComboBox*>("cboMemSw");
    selector->setCurrentIndex(6);

    QTest::mouseClick(simple->findChild<QPushButton*>("cmdAdv"), Qt::LeftButton);
    EXPECT_EQ(simple->advanced(), form);  // not created again
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(simple->isVisible());
    EXPECT_EQ(combo(0)->count(), 16);  // load steps did not run again
    EXPECT_EQ(text(1)->text(), "BEEF");
    EXPECT_EQ(combo(1)->currentIndex(), 7);
    EXPECT_EQ(combo(2)->currentIndex(), 9);
    EXPECT_TRUE(form->session().SessionOpen);
    EXPECT_EQ(form->session().SessionValues[7], "BEEF");

    click("cmdSimple");
    EXPECT_EQ(selector->count(), 16);
    EXPECT_EQ(selector->currentIndex(), 6);
    EXPECT_TRUE(bit->isChecked());
    EXPECT_EQ(simple->currentValue(), "0020");
}

// Which window the program is left from, and whether by its exit button or its close box.
struct Leave {
    bool fromAdvanced;
    bool closeBox;
};
void PrintTo(const Leave& how, std::ostream* os) {
    *os << (how.fromAdvanced ? "advanced" : "simple") << (how.closeBox ? " close box" : " exit");
}
class LeavingTheProgram : public AdvancedWindow, public ::testing::WithParamInterface<Leave> {};

// Both windows are left, their own first. The choice typed last in either
// window's control is the one printer both show, and what is stored,
// whichever window unloads last.
TEST_P(LeavingTheProgram, UnloadsBothWindowsAndTheLastChoiceIsStored) {
    const Leave how = GetParam();
    const QString chosen = settings.path("chosen-lp");
    auto* device = form->link()->findChild<QComboBox*>("cboDevice");
    device->lineEdit()->selectAll();
    QTest::keyClicks(device->lineEdit(), chosen);
    if (!how.fromAdvanced) {
        click("cmdSimple");
        EXPECT_EQ(simple->link()->findChild<QComboBox*>("cboDevice")->currentText(), chosen);
        EXPECT_TRUE(simple->link()->findChild<QRadioButton*>("optDevice")->isChecked());
        ASSERT_TRUE(QTest::qWaitForWindowActive(simple.get()));
    }
    QWidget* window = how.fromAdvanced ? static_cast<QWidget*>(form) : simple.get();
    QSignalSpy ended(simple.get(), &formSimple::programEnded);
    if (how.closeBox) {
        window->close();
    } else if (how.fromAdvanced) {
        click("cmdExit");
    } else {
        QTest::keyClick(simple->windowHandle(), Qt::Key_X, Qt::AltModifier);
        ASSERT_TRUE(ended.count() == 1 || ended.wait(2000));  // the shortcut animates a click first
    }
    EXPECT_FALSE(simple->isLoaded() || form->isLoaded());
    EXPECT_FALSE(simple->isVisible() || form->isVisible());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(storedDevice(), chosen.toStdString());
}

INSTANTIATE_TEST_SUITE_P(ExitOrCloseBox, LeavingTheProgram,
                         ::testing::Values(Leave{true, false}, Leave{false, false}, Leave{true, true},
                                           Leave{false, true}),
                         [](const ::testing::TestParamInfo<Leave>& info) {
                             return std::string(info.param.fromAdvanced ? "Advanced" : "Simple") +
                                    (info.param.closeBox ? "CloseBox" : "Exit");
                         });

// Both windows save their settings as they unload; a save that fails is
// reported and the exit goes on.
TEST_F(AdvancedWindow, ExitReportsEachFailedSettingsSaveAndStillEnds) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path("not-a-folder")));
    { QFile f(settings.path("not-a-folder")); ASSERT_TRUE(f.open(QIODevice::WriteOnly)); }
    QStringList reported;
    QTimer answerAll;
    QObject::connect(&answerAll, &QTimer::timeout, [&reported] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            reported << box->windowTitle() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerAll.start(20);
    QSignalSpy ended(simple.get(), &formSimple::programEnded);
    click("cmdExit");
    ASSERT_EQ(reported.size(), 2) << reported.join(" | ").toStdString();
    for (const QString& text : reported) {
        EXPECT_TRUE(text.startsWith("Kelvane v2.1: Cannot save the printer settings")) << text.toStdString();
    }
    EXPECT_FALSE(simple->isLoaded() || form->isLoaded());
    EXPECT_EQ(ended.count(), 1);
}

TEST(SimpleWindowAlone, ExitByAltXBeforeTheAdvancedWindowWasOpened) {
    SettingsFolder settings;
    formSimple simple;
    simple.Load();
    simple.show();
    simple.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&simple));
    const QString device = settings.path("lp");
    simple.link()->setDestination({LinkDestination::Kind::Device, device.toStdString()});
    QSignalSpy ended(&simple, &formSimple::programEnded);
    QTest::keyClick(simple.windowHandle(), Qt::Key_X, Qt::AltModifier);
    ASSERT_TRUE(ended.count() == 1 || ended.wait(2000));  // the shortcut animates a click first
    EXPECT_FALSE(simple.isLoaded() || simple.isVisible());
    EXPECT_EQ(simple.advanced(), nullptr);
    EXPECT_EQ(ended.count(), 1);
    QSettings stored(settings.settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("MySettings/Device").toString(), device);
}

}  // namespace
