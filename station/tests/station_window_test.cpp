// The station's window driven as a bench operator would, against simulated
// printers on ptys; screenshots of each state in the build's screenshots.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "gui_test_support.hpp"
#include "image_files.hpp"
#include "station_runs.hpp"
#include "run_log.hpp"
#include "simulated_printer.hpp"
#include "srecord.hpp"
#include "station_settings.hpp"
#include "station_window.hpp"
#include "transfer.hpp"

namespace {

using quarveld::StationWindow;
using quarveld::sim::Behaviour;
using quarveld::sim::SimulatedPrinter;
using quarveld::test::LongImage;
using quarveld::test::ReadFile;
using quarveld::test::ScratchDir;
using quarveld::test::WriteFile;
using testsupport::ModalAnswerer;
using testsupport::SaveScreenshot;
using testsupport::WaitFor;

using station::test::FileFrames;
using station::test::Frames;
using station::test::LogLines;

Frames Repeated(const Frames& frames, int times) {
    Frames all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), frames.begin(), frames.end());
    return all;
}


// A bench: the user's folders, an image, printers on ptys, the window.
struct Bench {
    testsupport::SettingsFolder folders;
    ScratchDir dir;
    std::string image = dir / "FIRMWARE.MOT";
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    std::unique_ptr<StationWindow> window;

    explicit Bench(const std::vector<Behaviour>& behaviours, const std::string& content = LongImage(30)) {
        WriteFile(image, content);
        for (const Behaviour& b : behaviours) printers.push_back(std::make_unique<SimulatedPrinter>(b));
    }
    std::vector<std::string> Devices() const {
        std::vector<std::string> devices;
        for (const auto& p : printers) devices.push_back(p->devicePath());
        return devices;
    }
    void Open(const std::vector<std::string>& ports, const QString& path) {
        window = std::make_unique<StationWindow>(ports, path);
        window->show();
        QApplication::setActiveWindow(window.get());
        WaitFor([&] { return window->isActiveWindow(); }, 1000);
    }
    template <typename T>
    T* Find(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTreeWidgetItem* Row(const std::string& device) const {
        auto* list = Find<QTreeWidget>("lstPorts");
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->data(0, Qt::UserRole).toString().toStdString() == device)
                return list->topLevelItem(i);
        }
        ADD_FAILURE() << "no row for " << device;
        return nullptr;
    }
    bool Running() const { return window->Core().Running(); }
    bool Unit() { return WaitFor([&] { return !Running(); }, 20000); }
    void Key(int key) { QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key)); }
};

TEST(StationWindow, FourPrintersEachEndForItselfRecordedAndAgainForTheNextUnit) {
    Behaviour paced, nak, silent;
    paced.byteDelayMicros = quarveld::sim::ByteDelayForBaud(19200);
    nak.nakAtFrame = 11;
    silent.silentFromFrame = 6;
    Bench bench({paced, paced, nak, silent});
    WriteFile(bench.folders.Ini(), "[QUARVELD]\nPORT0=00c9\nPORT1=00cd\nPORT2=00cf\nPORT3=00d2\n");
    bench.Open(bench.Devices(), QString::fromStdString(bench.image));

    // Opened with TORWIN.INI's line, the ports ticked, the image checked and Start in focus.
    EXPECT_EQ(bench.Find<QComboBox>("cboBaud")->currentText(), "19200bps");
    EXPECT_EQ(bench.Find<QSpinBox>("spnSilence")->value(), 10);
    EXPECT_TRUE(bench.Find<QLabel>("lblImage")->text().startsWith("30 frames") ||
                bench.Find<QLabel>("lblImage")->text().contains("30 frames"))
        << bench.Find<QLabel>("lblImage")->text().toStdString();
    EXPECT_EQ(QApplication::focusWidget(), bench.Find<QPushButton>("cmdStart"));
    for (const std::string& device : bench.Devices()) {
        EXPECT_EQ(bench.Row(device)->checkState(0), Qt::Checked);
        EXPECT_EQ(bench.Row(device)->text(2), "ready");
    }
    // Every control is reached with Tab.
    std::set<QString> reached;
    for (int i = 0; i < 40; ++i) {
        reached.insert(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (const char* name : {"txtImage", "cmdImage", "cboBaud", "cboBits", "cboParity", "spnSilence", "lstPorts",
                             "cmdRescan", "txtPort", "cmdAddPort", "txtBatch", "txtLog", "cmdLog", "cmdStart"})
        EXPECT_EQ(reached.count(QString::fromLatin1(name)), 1u) << name;
    SaveScreenshot(*bench.window, "station-ready");

    bench.Find<QSpinBox>("spnSilence")->setValue(1);
    bench.Find<QLineEdit>("txtBatch")->setText("WO-4711");
    bench.Find<QPushButton>("cmdStart")->setFocus();
    bench.Key(Qt::Key_Return);
    ASSERT_TRUE(bench.Running());
    ASSERT_TRUE(WaitFor([&] {
        const QString words = bench.Row(bench.Devices()[0])->text(2);
        return words.startsWith("writing") && !words.startsWith("writing 0 ");
    }));
    SaveScreenshot(*bench.window, "station-writing");
    WaitFor([&] { return bench.Row(bench.Devices()[3])->text(2).startsWith("no answer for"); });
    SaveScreenshot(*bench.window, "station-silent");
    ASSERT_TRUE(bench.Unit());
    SaveScreenshot(*bench.window, "station-unit-ended");
    // The printers count frames over their life: the refusal and the
    // silence come in the first unit, and only the silence again.
    struct Case {
        std::string state;
        int written, failed;
        std::vector<std::string> results;
    };
    const std::vector<Case> cases = {
        {"written in 0:0", 2, 0, {"written", "written"}},
        {"written in 0:0", 2, 0, {"written", "written"}},
        {"error: the printer refused frame 12 (NAK)", 1, 1, {"error", "written"}},
        {"error: no answer for 0:01", 0, 2, {"error", "error"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string words = bench.Row(bench.Devices()[i])->text(2).toStdString();
        EXPECT_EQ(words.rfind(cases[i].state, 0), 0u) << words;
    }

    bench.Key(Qt::Key_Space);  // the next printers: Start has the focus again
    ASSERT_TRUE(bench.Unit());

    const Frames single = FileFrames(bench.image);
    const std::string log = bench.Find<QLineEdit>("txtLog")->text().toStdString();
    EXPECT_EQ(log, station::DailyLogPath((bench.folders.path / "data/quarveld").string(),
                                         std::chrono::system_clock::now()));
    const std::vector<nlohmann::json> records = LogLines(log);
    ASSERT_EQ(records.size(), 8u);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string device = bench.Devices()[i];
        QTreeWidgetItem* row = bench.Row(device);
        EXPECT_EQ(row->text(3).toInt(), cases[i].written) << device;
        EXPECT_EQ(row->text(4).toInt(), cases[i].failed) << device;
        if (cases[i].written == 2) {
            const Frames frames = bench.printers[i]->frames();
            EXPECT_TRUE(frames == Repeated(single, 2)) << device << ": " << frames.size() << " frames";
        }
        std::vector<std::string> results;
        for (const nlohmann::json& r : records) {
            if (r["device"] != device) continue;
            results.push_back(r["result"]);
            EXPECT_EQ(r["batch"], "WO-4711");
            EXPECT_EQ(r["station"], station::HostName());
            EXPECT_EQ(r["image_sha256"], station::Sha256Hex(ReadFile(bench.image)));
        }
        EXPECT_EQ(results, cases[i].results) << device;
    }
    EXPECT_EQ(bench.Find<QLabel>("lblCounts")->text(), "Since the window opened: 5 written, 3 failed");
    EXPECT_EQ(qobject_cast<QProgressBar*>(bench.Find<QTreeWidget>("lstPorts")->itemWidget(bench.Row(bench.Devices()[0]), 1))
                  ->value(),
              100);
    SaveScreenshot(*bench.window, "station-second-unit");

    // The next start opens with the same line, ports, batch and silence time-out.
    bench.Find<QComboBox>("cboBits")->setCurrentIndex(1);
    bench.window->close();
    bench.Open({}, {});
    EXPECT_EQ(bench.Find<QComboBox>("cboBaud")->currentText(), "19200bps");
    EXPECT_EQ(bench.Find<QComboBox>("cboBits")->currentText(), "7bit");
    EXPECT_EQ(bench.Find<QLineEdit>("txtBatch")->text(), "WO-4711");
    EXPECT_EQ(bench.Find<QSpinBox>("spnSilence")->value(), 1);
    for (const std::string& device : bench.Devices()) EXPECT_EQ(bench.Row(device)->checkState(0), Qt::Checked);
    EXPECT_FALSE(bench.Find<QPushButton>("cmdStart")->isEnabled()) << "no image yet";
}

TEST(StationWindow, AbortWithEscAndClosingDuringAUnitAsksThenRecords) {
    Behaviour silent;
    silent.silentFromFrame = 3;
    Bench bench({silent, silent});
    bench.Open(bench.Devices(), QString::fromStdString(bench.image));
    bench.Find<QSpinBox>("spnSilence")->setValue(0);  // waits, as QUARVELD does
    bench.Key(Qt::Key_Enter);
    for (const auto& printer : bench.printers) ASSERT_TRUE(printer->waitForFrames(4, 5000));
    ASSERT_TRUE(WaitFor([&] { return bench.Row(bench.Devices()[0])->text(2) == "no answer for 0:02"; }));
    ASSERT_TRUE(bench.Running()) << "a time-out of 0 waits";
    bench.Key(Qt::Key_Escape);
    // The benchmark measures how fast; here it has to be prompt.
    ASSERT_TRUE(WaitFor([&] { return !bench.Running(); }, 1000));
    for (const std::string& device : bench.Devices()) EXPECT_EQ(bench.Row(device)->text(2), "aborted");
    SaveScreenshot(*bench.window, "station-aborted");

    // Closing during a unit: "No" keeps it going; "Yes" aborts, records and closes.
    const std::string log = bench.Find<QLineEdit>("txtLog")->text().toStdString();
    bench.Key(Qt::Key_Return);
    ASSERT_TRUE(bench.Running());
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        bool asked = false;
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return false;
            asked = box->text().contains("A unit is being written at 2 ports");
            if (answer == QMessageBox::Yes) SaveScreenshot(*box, "station-close-question");
            box->button(answer)->click();
            return true;
        });
        bench.window->close();
        EXPECT_TRUE(asked);
        EXPECT_EQ(bench.window->isVisible(), answer == QMessageBox::No);
    }
    const std::vector<nlohmann::json> records = LogLines(log);
    ASSERT_EQ(records.size(), 4u);
    for (const nlohmann::json& r : records) EXPECT_EQ(r["result"], "aborted");
    EXPECT_EQ(records.back()["unit"], 2);
}

TEST(StationWindow, ImagesRefusedReplacedOnDiskOrChosenAgainAndALogThatCannotBeWritten) {
    Bench bench({{}}, "S1061000010203E3\nS1G61000010203E3\nS9030000FC\n");
    bench.Open(bench.Devices(), QString::fromStdString(bench.image));
    auto* start = bench.Find<QPushButton>("cmdStart");
    auto* shown = bench.Find<QLabel>("lblImage");
    EXPECT_TRUE(shown->text().contains("FIRMWARE.MOT: line 2:")) << shown->text().toStdString();
    EXPECT_FALSE(start->isEnabled());
    bench.window->setFocus();
    bench.Key(Qt::Key_Return);
    EXPECT_FALSE(bench.Running());
    SaveScreenshot(*bench.window, "station-image-refused");

    // Chosen again through the file dialog, once it is good.
    WriteFile(bench.image, LongImage(6));
    {
        ModalAnswerer answerer([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) return false;
            EXPECT_EQ(dialog->nameFilters(), (QStringList{"S-Format File (*.MOT)", "Other File (*.*)"}));
            SaveScreenshot(*dialog, "station-image-dialog");
            dialog->setDirectory(QString::fromStdString(bench.dir / ""));
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText("FIRMWARE.MOT");  // typed in
            QMetaObject::invokeMethod(dialog, "accept");
            return true;
        });
        QTest::mouseClick(bench.Find<QPushButton>("cmdImage"), Qt::LeftButton);
    }
    ASSERT_TRUE(start->isEnabled()) << shown->text().toStdString();
    EXPECT_TRUE(shown->text().contains("6 frames")) << shown->text().toStdString();
    start->click();
    ASSERT_TRUE(bench.Unit());

    // Replaced on disk between units: said, and the next unit is the checked image.
    WriteFile(bench.image, LongImage(2));
    auto* changed = bench.Find<QLabel>("lblImageChanged");
    ASSERT_TRUE(WaitFor([&] { return changed->isVisible(); }, 4000));
    SaveScreenshot(*bench.window, "station-image-changed");
    start->click();
    ASSERT_TRUE(bench.Unit());
    WriteFile(bench.dir / "first.MOT", LongImage(6));
    EXPECT_TRUE(bench.printers[0]->frames() == Repeated(FileFrames(bench.dir / "first.MOT"), 2));
    auto* path = bench.Find<QLineEdit>("txtImage");
    path->setFocus();
    QTest::keyClick(path, Qt::Key_Return);  // taken again, and nothing started
    EXPECT_FALSE(bench.Running());
    EXPECT_FALSE(changed->isVisible());
    EXPECT_TRUE(shown->text().contains("2 frames")) << shown->text().toStdString();

    // A record that cannot be written stops the station with a message.
    auto* log = bench.Find<QLineEdit>("txtLog");
    log->setFocus();
    log->selectAll();
    QTest::keyClicks(log, "/dev/full");  // typed: the path is the user's now
    ASSERT_EQ(log->text(), "/dev/full");
    QString message;
    ModalAnswerer answerer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) return false;
        message = box->text();
        SaveScreenshot(*box, "station-record-failed");
        box->accept();
        return true;
    });
    start->click();
    ASSERT_TRUE(WaitFor([&] { return !message.isEmpty(); }, 5000));
    EXPECT_TRUE(message.contains("cannot be written")) << message.toStdString();
    EXPECT_TRUE(message.contains("The station has stopped")) << message.toStdString();
}

}  // namespace
