// formSimple driven through its real controls, sending to a file that
// stands in for the printer.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "advanced_window.hpp"
#include "simple_window.hpp"
#include "vexlo_comm.hpp"
#include "window_test_support.hpp"

using namespace windowtest;
using kelvane::formSimple;

namespace {

const std::string Closing = "1B 1D 23 54 30 30 30 30 30 0A 00";

class SimpleWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<formSimple>();
        form->Load();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        printer = settings.path("printer.bin");
        form->link()->setDestination({kelvane::LinkDestination::Kind::Device, printer.toStdString()});
    }

    template <class T>
    T* child(const QString& name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QCheckBox* bit(int i) { return child<QCheckBox>(QStringLiteral("Check1(%1)").arg(i)); }
    QString label1() { return child<QLabel>("Label1")->text(); }
    QString label2() { return child<QLabel>("Label2")->text(); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    void tick(int i) { QTest::mouseClick(bit(i), Qt::LeftButton, {}, QPoint(8, bit(i)->height() / 2)); }

    SettingsFolder settings;
    std::unique_ptr<formSimple> form;
    QString printer;
};

TEST_F(SimpleWindow, OpensWithItsLayoutAndNothingTicked) {
    EXPECT_EQ(form->windowTitle(), "Kelvane - Simple Mode");
    EXPECT_EQ(form->size(), QSize(328, 409));
    EXPECT_FALSE(form->windowIcon().isNull());

    auto* selector = child<QComboBox>("cboMemSw");
    ASSERT_EQ(selector->count(), 16);
    EXPECT_EQ(selector->currentIndex(), 0);
    EXPECT_EQ(selector->currentText(), "Memory Switch 0");
    EXPECT_EQ(selector->itemText(10), "Memory Switch A");
    EXPECT_EQ(selector->itemText(15), "Memory Switch F");
    EXPECT_EQ(selector->geometry(), QRect(160, 8, 121, 21));

    for (int i = 0; i < 16; ++i) EXPECT_FALSE(bit(i)->isChecked()) << i;
    EXPECT_EQ(bit(10)->text(), "Bit A:");
    EXPECT_EQ(bit(15)->text(), "Bit F:");
    // Inside the "Bits" frame, two columns of eight.
    EXPECT_EQ(bit(7)->geometry(), QRect(16, 192, 57, 29));
    EXPECT_EQ(bit(8)->geometry(), QRect(88, 24, 49, 29));
    EXPECT_EQ(child<QWidget>("VexloComm1")->geometry().translated(child<QWidget>("Frame1")->pos()),
              QRect(40, 256, 255, 104));
    EXPECT_TRUE(label1().isEmpty());
    EXPECT_TRUE(label2().isEmpty());
    EXPECT_TRUE(form->currentValue().isEmpty());
    EXPECT_EQ(child<QPushButton>("cmdCancel")->text(), "E&xit");
    // The picture compiled into the program is the drawing it was made from, stretched to its box.
    auto* image = child<QLabel>("Image1");
    const auto same = [](const QImage& shown, const char* drawing) {
        return shown.convertToFormat(QImage::Format_ARGB32) ==
               QImage(QString::fromLatin1(PICTURES_DIR) + drawing).convertToFormat(QImage::Format_ARGB32);
    };
    EXPECT_TRUE(same(image->pixmap().toImage(), "/Image1.gif"));
    EXPECT_TRUE(same(form->windowIcon().pixmap(32, 32).toImage(), "/kelvane2-32.png"));
    EXPECT_TRUE(same(form->windowIcon().pixmap(64, 64).toImage(), "/kelvane2-64.png"));
    EXPECT_TRUE(image->hasScaledContents());
    EXPECT_EQ(image->geometry(), QRect(168, 152, 140, 53));

    for (auto* button : form->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_FALSE(button->autoDefault() || button->isDefault()) << button->objectName().toStdString();
    }

    // Tab order: selector, the bottom buttons, "Uncheck All", Bit F down to Bit 0, the link.
    QStringList expected = {"cboMemSw", "cmdSend2Prn", "cmdAdv", "cmdCancel", "Uncheck_all"};
    for (int i = 15; i >= 0; --i) expected << QStringLiteral("Check1(%1)").arg(i);
    const QStringList order = TabOrder(selector, 22);
    EXPECT_EQ(order.mid(0, 21), expected);
    // Then into the link control.
    QWidget* after = form->findChild<QWidget*>(order.at(21));
    EXPECT_TRUE(after && form->link()->isAncestorOf(after)) << order.at(21).toStdString();

    testsupport::SaveScreenshot(*form, "simple_window");
}

TEST_F(SimpleWindow, TicksShowTheWordInBinaryAndHex) {
    tick(0);
    EXPECT_EQ(label1(), "Binary: 0000000000000001");
    EXPECT_EQ(label2(), "Hex:   0001");
    tick(0);  // unticking the last box shows zeros, not empty labels
    EXPECT_EQ(label1(), "Binary: 0000000000000000");
    EXPECT_EQ(label2(), "Hex:   0000");

    tick(10);
    EXPECT_EQ(label1(), "Binary: 0000010000000000");
    EXPECT_EQ(form->currentValue(), "0400");
    tick(10);

    bit(15)->setFocus();
    QTest::keyClick(bit(15), Qt::Key_Space);  // keyboard ticks count too
    tick(0);
    EXPECT_EQ(label1(), "Binary: 1000000000000001");
    EXPECT_EQ(label2(), "Hex:   8001");

    for (int i = 0; i < 16; ++i) bit(i)->setChecked(true);  // the program's changes recompute as well
    EXPECT_EQ(label1(), "Binary: 1111111111111111");
    EXPECT_EQ(form->currentValue(), "FFFF");
    testsupport::SaveScreenshot(*form, "simple_window_all_ticked");

    EXPECT_EQ(formSimple::cBinary("1011"), 11);
    EXPECT_EQ(formSimple::cBinary(""), 0);
    EXPECT_EQ(formSimple::cBinary("1x1"), 5);
}

TEST_F(SimpleWindow, UncheckAllRecomputesOncePerTickedBoxInOrder) {
    // Nothing ticked: nothing changes, empty labels stay empty.
    QSignalSpy idle(form.get(), &formSimple::valueUpdated);
    click("Uncheck_all");
    EXPECT_EQ(idle.count(), 0);
    EXPECT_TRUE(label1().isEmpty());

    tick(3);
    tick(9);
    QSignalSpy spy(form.get(), &formSimple::valueUpdated);
    click("Uncheck_all");
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), "0200");  // bit 3 cleared first, bit 9 still set
    EXPECT_EQ(spy.at(1).at(0).toString(), "0000");
    for (int i = 0; i < 16; ++i) EXPECT_FALSE(bit(i)->isChecked()) << i;
    EXPECT_EQ(label2(), "Hex:   0000");
}

TEST_F(SimpleWindow, SendWritesTheSelectedSwitchAndKeepsTheWindowAsItWas) {
    auto* selector = child<QComboBox>("cboMemSw");
    selector->setCurrentIndex(3);
    tick(0);
    tick(2);
    click("cmdSend2Prn");
    EXPECT_EQ(ReadAll(printer), Hex("1B 1D 23 2C 33 30 30 30 35 0A 00" + Closing));
    EXPECT_EQ(form->currentSwitch(), "3");

    // Another switch changes no box; the same word goes to it.
    selector->setCurrentIndex(10);
    EXPECT_TRUE(bit(0)->isChecked() && bit(2)->isChecked());
    EXPECT_EQ(label2(), "Hex:   0005");
    click("cmdSend2Prn");
    EXPECT_EQ(ReadAll(printer), Hex("1B 1D 23 2C 33 30 30 30 35 0A 00" + Closing +
                                    "1B 1D 23 2C 41 30 30 30 35 0A 00" + Closing));
}

TEST_F(SimpleWindow, SendBeforeAnyTickSendsTheZeroWord) {
    click("cmdSend2Prn");
    EXPECT_EQ(ReadAll(printer), Hex("1B 1D 23 2C 30 30 30 30 30 0A 00" + Closing));
    EXPECT_TRUE(form->currentValue().isEmpty());
}

TEST_F(SimpleWindow, TypedSwitchNamesSelectAndUnknownNamesRefuseTheSend) {
    auto* selector = child<QComboBox>("cboMemSw");
    QLineEdit* edit = selector->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, "memory switch b");
    EXPECT_EQ(selector->currentIndex(), 11);
    EXPECT_EQ(edit->text(), "memory switch b");

    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(selector->currentIndex(), -1);
    tick(1);

    Message seen;
    auto answer = AnswerMessage(seen, QMessageBox::Ok, "simple_no_switch_warning");
    click("cmdSend2Prn");
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "Kelvane v2.1");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_TRUE(seen.text.contains("memory switch", Qt::CaseInsensitive)) << seen.text.toStdString();
    EXPECT_EQ(ReadAll(printer), "<missing>");
}

TEST_F(SimpleWindow, LinkFailureIsReportedAndTheWindowGoesOn) {
    form->link()->setDestination({kelvane::LinkDestination::Kind::Device, settings.path("no/such/dir/lp").toStdString()});
    tick(4);
    Message seen;
    auto answer = AnswerMessage(seen, QMessageBox::Ok, "simple_link_failure");
    click("cmdSend2Prn");
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "Kelvane v2.1");
    EXPECT_TRUE(seen.text.contains("no/such/dir")) << seen.text.toStdString();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(bit(4)->isChecked());
    EXPECT_EQ(form->currentValue(), "0010");

    // Once the destination is right the same window sends.
    form->link()->setDestination({kelvane::LinkDestination::Kind::Device, printer.toStdString()});
    click("cmdSend2Prn");
    EXPECT_EQ(ReadAll(printer), Hex("1B 1D 23 2C 30 30 30 31 30 0A 00" + Closing));
}

TEST_F(SimpleWindow, SettingsThatCannotBeStoredDoNotStopTheSend) {
    // Something that is not a folder stands where the settings folder goes.
    QDir(settings.path("kelvane")).removeRecursively();
    QFile blocker(settings.path("kelvane"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    Message seen;
    auto answer = AnswerMessage(seen, QMessageBox::Ok, "simple_settings_not_stored");
    click("cmdSend2Prn");
    EXPECT_EQ(ReadAll(printer), Hex("1B 1D 23 2C 30 30 30 30 30 0A 00" + Closing));
    EXPECT_TRUE(seen.shown);
    EXPECT_TRUE(seen.text.contains("was sent") && seen.text.contains("could not be stored"))
        << seen.text.toStdString();
}

TEST_F(SimpleWindow, LptOneIsMappedByTheSettingsFileReadAtStart) {
    EXPECT_EQ(form->parallelPort().path, "/dev/lp0");
    ASSERT_TRUE(QDir().mkpath(settings.path("kelvane")));
    QFile ini(settings.path("kelvane/Kelvane2.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Devices]\nLPT1=/dev/usb/lp1\n");
    ini.close();
    EXPECT_EQ(form->parallelPort().path, "/dev/lp0") << "read once, at start";

    formSimple next;
    EXPECT_EQ(next.parallelPort().path, "/dev/usb/lp1");
    EXPECT_EQ(next.parallelPort().setting, settings.path("kelvane/Kelvane2.ini").toStdString());
}

// Settings files with folders in their places: the window comes up with
// the defaults and then says which files it could not read, and why.
TEST(SimpleWindowAlone, SettingsThatAreNoFilesAreNamedOnceTheWindowIsUp) {
    SettingsFolder settings;
    ASSERT_TRUE(QDir().mkpath(settings.path("kelvane/Kelvane2.ini")) && QDir().mkpath(settings.settingsFile()));
    formSimple form;
    Message seen;
    bool windowWasUp = false;
    auto answer = AnswerMessage(seen, QMessageBox::Ok, "simple_settings_not_read");
    QObject::connect(answer.get(), &QTimer::timeout, [&] { windowWasUp = windowWasUp || form.isVisible(); });
    form.Load();
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.shown; }));
    EXPECT_TRUE(windowWasUp);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_TRUE(seen.text.contains(settings.path("kelvane/Kelvane2.ini") + " could not be read: it is a folder"))
        << seen.text.toStdString();
    EXPECT_TRUE(seen.text.contains(settings.settingsFile() + ": it is a folder")) << seen.text.toStdString();
    EXPECT_EQ(form.parallelPort().path, "/dev/lp0");

    // The advanced window, opened later, takes what the start read: no second warning.
    QStringList later;
    QTimer answerAll;
    QObject::connect(&answerAll, &QTimer::timeout, [&later] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            later << box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerAll.start(20);
    QTest::mouseClick(form.findChild<QPushButton*>("cmdAdv"), Qt::LeftButton);
    ASSERT_NE(form.advanced(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.advanced()));
    QTest::qWait(300);
    EXPECT_TRUE(later.isEmpty()) << later.join(" | ").toStdString();
}

}  // namespace
