// Whole write runs through the real dialogs, against the simulated printer on
// a pseudo-terminal mapped as COM1, or a plain file mapped as LPT1.
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "gui_test_support.hpp"
#include "port_dialog.hpp"
#include "shell.hpp"
#include "simulated_printer.hpp"
#include "write_dialog.hpp"

using namespace quarveld;
using testsupport::ModalAnswerer;
namespace fs = std::filesystem;

namespace {

// Header, the worked example line, two 16-byte lines, a count line, the end.
const char* const Image =
    "S00600004844521B\n"
    "S1061000010203E3\n"
    "S1131010000102030405060708090A0B0C0D0E0F52\n"
    "S1132000F0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF7C\n"
    "S5030004F8\n"
    "S9030000FC\n";

// What one run saw of the dialogs.
struct Seen {
    std::vector<QString> notices;         // "WriteEnd" / "WriteError", in order
    QString counterAtNotice;
    QRect counterOnScreen, noticeOnScreen, screen;  // at the first notice over the Write dialog
    std::vector<QString> counterValues;   // distinct values, in order
    QStringList filters;
    QString defaultSuffix;
    QString offeredFile;                  // what the file dialog opened on
    QString offeredFilter;
};

class WriteRuns : public ::testing::Test {
protected:
    void SetUp() override {
        image = (settings.path / "image.MOT").string();
        std::ofstream(image, std::ios::binary) << Image;
    }

    // Writes TORWIN.INI with the device map and opens the main window on it.
    std::unique_ptr<MainWindow> Window(const std::string& com1, const std::string& lpt1 = "/nonexistent/lp") {
        std::ofstream(settings.Ini()) << "[Devices]\nCOM1=" << com1 << "\nLPT1=" << lpt1 << "\n";
        auto window = std::make_unique<MainWindow>();
        window->show();
        return window;
    }

    // Answers the file dialog with `file` (nothing: cancel), samples the
    // counter, lets `onWrite` act on the Write dialog and presses OK on a notice.
    std::unique_ptr<ModalAnswerer> Answer(Seen& seen, const QString& file,
                                          std::function<bool(QWidget*)> onWrite = {},
                                          const QString& filter = {}) {
        return std::make_unique<ModalAnswerer>([&seen, file, onWrite, filter, this](QWidget* modal) {
            if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                seen.filters = files->nameFilters();
                seen.defaultSuffix = files->defaultSuffix();
                seen.offeredFile = files->selectedFiles().value(0);
                seen.offeredFilter = files->selectedNameFilter();
                testsupport::SaveScreenshot(*files, "write_file_dialog");
                if (file.isEmpty()) {
                    files->reject();
                } else {
                    if (!filter.isEmpty()) files->selectNameFilter(filter);
                    QFileInfo chosen(file);
                    files->setDirectory(chosen.absolutePath());
                    // Typed in, as a user would.
                    files->findChild<QLineEdit*>("fileNameEdit")->setText(chosen.fileName());
                    QMetaObject::invokeMethod(files, "accept");
                }
                return true;
            }
            if (modal->objectName() == "Write") {
                QString value = modal->findChild<QLabel*>("213")->text();
                if (seen.counterValues.empty() || seen.counterValues.back() != value)
                    seen.counterValues.push_back(value);
                return onWrite ? onWrite(modal) : false;
            }
            if (modal->objectName() == "WriteEnd" || modal->objectName() == "WriteError") {
                seen.notices.push_back(modal->objectName());
                // Owned by the Write dialog, or by the main window when the run failed at its start.
                if (auto* write = qobject_cast<WriteDialog*>(modal->parentWidget())) {
                    auto* counter = write->findChild<QLabel*>("213");
                    seen.counterAtNotice = counter->text();
                    if (seen.noticeOnScreen.isNull()) {
                        seen.counterOnScreen = QRect(counter->mapToGlobal(QPoint(0, 0)), counter->size());
                        seen.noticeOnScreen = modal->frameGeometry();
                        seen.screen = modal->screen()->availableGeometry();
                        testsupport::SaveScreenshotAsPlaced({write, modal}, modal->objectName() + "_placed");
                    }
                }
                if (seen.notices.size() == 1)
                    testsupport::SaveScreenshot(*modal, modal->objectName() == "WriteEnd" ? "write_end" : "write_error");
                modal->findChild<QPushButton*>("OK")->click();
                return true;
            }
            return false;
        });
    }

    testsupport::SettingsFolder settings;
    std::string image;
};

TEST_F(WriteRuns, SerialRunCountsTheBytesAndEndsWithWriteEnd) {
    sim::Behaviour slow;
    slow.byteDelayMicros = 3000;  // frames take tens of ms, so the counter can be watched
    sim::SimulatedPrinter printer(slow);
    auto window = Window(printer.devicePath());
    Seen seen;
    auto answer = Answer(seen, QString::fromStdString(image));
    EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 1);

    EXPECT_EQ(seen.notices, (std::vector<QString>{"WriteEnd"}));
    EXPECT_EQ(seen.counterAtNotice, "      35");
    // The notice leaves the counter readable, on the screen.
    EXPECT_FALSE(seen.noticeOnScreen.intersects(seen.counterOnScreen));
    EXPECT_TRUE(seen.screen.contains(seen.noticeOnScreen));
    // Every value shown is a running total of accepted frames, in order.
    const std::vector<QString> totals = {"       0", "       3", "      19", "      35"};
    auto at = totals.begin();
    for (const QString& v : seen.counterValues) {
        at = std::find(at, totals.end(), v);
        EXPECT_NE(at, totals.end()) << v.toStdString();
    }
    ASSERT_FALSE(seen.counterValues.empty());
    EXPECT_EQ(seen.counterValues.front(), "       0");

    // The header and the count line travel as empty frames; nothing of S9.
    auto frames = printer.frames();
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0], (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40}));
    EXPECT_EQ(frames[1], (std::vector<uint8_t>{0x02, 0x03, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6}));
    EXPECT_EQ(frames[4], frames[0]);
    auto memory = printer.memory();
    EXPECT_EQ(memory.size(), 35u);
    EXPECT_EQ(memory[0x1000], 0x01);
    EXPECT_EQ(memory[0x101F], 0x0F);
    EXPECT_EQ(memory[0x200F], 0xFF);
}

TEST_F(WriteRuns, NakEndsWithWriteError) {
    sim::Behaviour nak;
    nak.nakAtFrame = 1;
    nak.noiseBeforeAnswer = "\x11\x7f";  // passed over before each answer
    sim::SimulatedPrinter printer(nak);
    auto window = Window(printer.devicePath());
    Seen seen;
    auto answer = Answer(seen, QString::fromStdString(image));
    EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 0);
    EXPECT_EQ(seen.notices, (std::vector<QString>{"WriteError"}));
    EXPECT_EQ(seen.counterAtNotice, "       0");
    EXPECT_EQ(printer.framesReceived(), 2u);  // the refused frame is not sent again
}

TEST_F(WriteRuns, AbortClosesTheDialogWithoutANotice) {
    sim::Behaviour silent;
    silent.silentFromFrame = 2;
    sim::SimulatedPrinter printer(silent);
    auto window = Window(printer.devicePath());
    Seen seen;
    std::chrono::steady_clock::time_point aborted;
    int step = 0;
    auto answer = Answer(seen, QString::fromStdString(image), [&](QWidget* write) {
        // Wait for the worker to hang on frame 2's answer.
        if (write->findChild<QLabel*>("213")->text() != "       3" || printer.framesReceived() < 3) return false;
        if (step == 0) {
            EXPECT_TRUE(QFontInfo(write->findChild<QLabel*>("213")->font()).fixedPitch());
            EXPECT_FALSE(write->windowFlags() & Qt::WindowCloseButtonHint);
            testsupport::SaveScreenshot(*write, "write_dialog");
            // Escape and a close request do nothing.
            QTest::keyClick(write, Qt::Key_Escape);
            write->close();
            ++step;
            return false;
        }
        if (step++ < 20) {  // ~200 ms later it is still there
            EXPECT_TRUE(write->isVisible());
            return false;
        }
        // Enter presses ABORT; twice does no more than once.
        aborted = std::chrono::steady_clock::now();
        QTest::keyClick(write, Qt::Key_Return);
        QTest::keyClick(write, Qt::Key_Return);
        return true;
    });
    EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 3);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - aborted);
    std::printf("ABORT closed the Write dialog after %lld ms\n", static_cast<long long>(took.count()));
    // Generous bound: the worker looks at the flag at least every 200 ms.
    EXPECT_LT(took.count(), 1000);
    EXPECT_TRUE(seen.notices.empty());
    EXPECT_EQ(printer.framesReceived(), 3u);
    // The port was closed: it opens again at once.
    int parallel = -1;
    EXPECT_NE(OpenWritePort(window->Settings(), window->Devices(), parallel), nullptr);
}

TEST_F(WriteRuns, PortChangedInThePortDialogIsUsedAtOnceLpt1ToAFile) {
    std::string lpt = (settings.path / "lp0").string();
    std::ofstream(lpt).close();
    std::ofstream(image, std::ios::binary) << "S00600004844521B\nS1061000010203E3\nS9030000FC\n";
    auto window = Window("/nonexistent/tty", lpt);
    {
        ModalAnswerer choose([](QWidget* modal) {
            auto* port = qobject_cast<PortDialog*>(modal);
            if (port == nullptr) return false;
            port->Button(212)->click();
            port->findChild<QPushButton*>("OK")->click();
            return true;
        });
        window->findChild<QAction*>("302")->trigger();
    }
    Seen seen;
    auto answer = Answer(seen, QString::fromStdString(image));
    window->findChild<QAction*>("301")->trigger();
    EXPECT_EQ(seen.notices, (std::vector<QString>{"WriteEnd"}));
    std::ifstream in(lpt, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x01, 0x40, 0x02, 0x03, 0x00, 0x00,
                                           0x10, 0x00, 0x01, 0x02, 0x03, 0x03, 0xAD, 0xF6}));
}

TEST_F(WriteRuns, FailuresAtTheStart) {
    sim::SimulatedPrinter printer;
    auto window = Window(printer.devicePath());
    {
        // Cancel: nothing shown, nothing sent.
        Seen seen;
        auto answer = Answer(seen, QString());
        EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 0);
        EXPECT_TRUE(seen.notices.empty());
        EXPECT_TRUE(seen.counterValues.empty());
        EXPECT_EQ(seen.filters, (QStringList{"S-Format File (*.MOT)", "Other File (*.*)"}));
        EXPECT_EQ(seen.defaultSuffix, "MOT");
    }
    {
        // An image that is not there: the error notice, and the port is never opened.
        Seen seen;
        auto answer = Answer(seen, QString::fromStdString((settings.path / "missing.MOT").string()));
        EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 0);
        EXPECT_EQ(seen.notices, (std::vector<QString>{"WriteError"}));
        EXPECT_TRUE(seen.counterValues.empty());
    }
    EXPECT_TRUE(printer.received().empty());
    {
        // A port that cannot be opened.
        DeviceMap nowhere;
        nowhere.COM1 = (settings.path / "no-such-tty").string();
        Seen seen;
        auto answer = Answer(seen, QString::fromStdString(image));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), nowhere), 0);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(seen.notices, (std::vector<QString>{"WriteError"}));
        EXPECT_TRUE(seen.counterValues.empty());
        // Besides the bare notice, one line says what failed.
        EXPECT_EQ(said.find("QUARVELD:"), said.rfind("QUARVELD:")) << said;
        EXPECT_NE(said.find("QUARVELD: COM1 (" + nowhere.COM1 + ") cannot be opened: "), std::string::npos) << said;
    }
}

TEST_F(WriteRuns, FileDialogAddsMotAndOffersTheLastChoiceAgain) {
    std::ofstream(image, std::ios::binary) << "S9030000FC\n";
    sim::SimulatedPrinter printer;
    auto window = Window(printer.devicePath());
    const QString typed = QString::fromStdString((settings.path / "image").string());
    Seen first;
    {
        auto answer = Answer(first, typed, {}, "Other File (*.*)");
        // An image that ends at once: "Write End !" with the counter at 0.
        EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 1);
    }
    EXPECT_EQ(first.notices, (std::vector<QString>{"WriteEnd"}));
    EXPECT_EQ(first.counterAtNotice, "       0");
    EXPECT_TRUE(printer.received().empty());
    Seen second;
    auto answer = Answer(second, QString());
    EXPECT_EQ(WriteDialog::Run(window.get(), window->Settings(), window->Devices()), 0);
    EXPECT_EQ(second.offeredFile, QString::fromStdString(image));
    EXPECT_EQ(second.offeredFilter, "Other File (*.*)");
}

TEST_F(WriteRuns, OtherFileListsEveryFileAndTypedNamesFindTheirFile) {
    for (const char* name : {"small.mot", "noext"}) std::ofstream(settings.path / name) << "S9030000FC\n";
    sim::SimulatedPrinter printer;
    auto window = Window(printer.devicePath());
    // Picks "Other File (*.*)" as a user does, waits for the list, types `typed`.
    auto run = [&](const QString& typed, QStringList& listed) {
        int polls = 0;
        ModalAnswerer answer([&](QWidget* modal) {
            auto* files = qobject_cast<QFileDialog*>(modal);
            if (files == nullptr) return modal->findChild<QPushButton*>("OK")->click(), true;  // a notice
            auto* view = files->findChild<QListView*>("listView");
            if (polls++ == 0) {
                files->setDirectory(QString::fromStdString(settings.path.string()));
                files->selectNameFilter("S-Format File (*.MOT)");
                files->findChild<QComboBox*>("fileTypeCombo")->setFocus();
                QTest::keyClick(files->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);
            }
            listed.clear();
            for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
            if (polls < 200 && !listed.contains("noext")) return false;  // still reading the folder
            auto* edit = files->findChild<QLineEdit*>("fileNameEdit");
            edit->setFocus();
            edit->clear();
            QTest::keyClicks(edit, typed);
            QMetaObject::invokeMethod(files, "accept");
            return true;
        });
        return WriteDialog::Run(window.get(), window->Settings(), window->Devices());
    };
    QStringList listed;
    // Each of them holds an image that ends at once: "Write End !".
    EXPECT_EQ(run("small", listed), 1);
    EXPECT_TRUE(listed.contains("noext") && listed.contains("image.MOT")) << listed.join(",").toStdString();
    EXPECT_EQ(run("noext", listed), 1);
    EXPECT_EQ(run("nothing", listed), 0);
}

}  // namespace
