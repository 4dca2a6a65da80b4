// The main window, its menu, the Exit question and the settings it loads and saves.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "gui_test_support.hpp"
#include "notices.hpp"
#include "port_dialog.hpp"
#include "shell.hpp"

using namespace quarveld;
using testsupport::ModalAnswerer;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QAction* MenuCommand(MainWindow& window, const char* id) {
    return window.menuBar()->findChild<QAction*>(QString::fromLatin1(id));
}

// Closes the window and answers the Exit question with the named button.
void CloseAnswering(MainWindow& window, const QString& button, bool throughMenu = false) {
    bool asked = false;
    ModalAnswerer answer([&](QWidget* modal) {
        if (modal->objectName() != "Exit") return false;
        asked = true;
        if (button == "Escape") QTest::keyClick(modal, Qt::Key_Escape);
        else modal->findChild<QPushButton*>(button)->click();
        return true;
    });
    if (throughMenu) {
        MenuCommand(window, "303")->trigger();
        EXPECT_TRUE(testsupport::WaitFor([&] { return asked; }));
    } else {
        window.close();
    }
    EXPECT_TRUE(asked);
    QApplication::processEvents();
}

TEST(MainWindow, FixedSizeAndThreeCommandsInTheBar) {
    testsupport::SettingsFolder settings;
    MainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), "Flarnex  Ver1.1.0.1");
    EXPECT_EQ(window.minimumSize(), QSize(480, 80));
    EXPECT_EQ(window.maximumSize(), QSize(480, 80));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    QList<QAction*> actions = window.menuBar()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "&Write !");
    EXPECT_EQ(actions[1]->text(), "&Port !");
    EXPECT_EQ(actions[2]->text(), "&Exit !");
    for (QAction* a : actions) EXPECT_EQ(a->menu(), nullptr);
    testsupport::SaveScreenshot(window, "main_window");
    CloseAnswering(window, "NO");
}

TEST(MainWindow, FirstStartRunsWithDefaultsAndNoLeavesNoFile) {
    testsupport::SettingsFolder settings;
    MainWindow window;
    window.show();
    // The Port dialog shows 9600 baud, 8 bit, no parity, COM1.
    std::vector<QString> checked;
    ModalAnswerer answer([&](QWidget* modal) {
        auto* port = qobject_cast<PortDialog*>(modal);
        if (port == nullptr) return false;
        for (int id = 201; id <= 212; ++id)
            if (port->Button(id)->isChecked()) checked.push_back(port->Button(id)->text());
        port->findChild<QPushButton*>("CANCEL")->click();
        return true;
    });
    MenuCommand(window, "302")->trigger();
    EXPECT_EQ(checked, (std::vector<QString>{" 9600bps", "8bit", "None", "COM1"}));

    CloseAnswering(window, "NO");
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(std::filesystem::exists(settings.Ini()));
}

TEST(MainWindow, YesWritesTheSettingsAndTheyAreReadAtTheNextStart) {
    testsupport::SettingsFolder settings;
    {
        MainWindow window;
        window.show();
        CloseAnswering(window, "YES");
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(ReadAll(settings.Ini()), "[QUARVELD]\nPORT0=00ca\nPORT1=00cd\nPORT2=00cf\nPORT3=00d2\n");
    }
    {
        // A change made in the Port dialog reaches the file only with YES.
        MainWindow window;
        window.show();
        ModalAnswerer answer([&](QWidget* modal) {
            auto* port = qobject_cast<PortDialog*>(modal);
            if (port == nullptr) return false;
            port->Button(201)->click();
            port->Button(211)->click();
            port->findChild<QPushButton*>("OK")->click();
            return true;
        });
        MenuCommand(window, "302")->trigger();
        EXPECT_EQ(window.Settings(), (PortSettings{201, 205, 207, 211}));
        CloseAnswering(window, "YES", true);
        EXPECT_FALSE(window.isVisible());
    }
    EXPECT_EQ(ReadAll(settings.Ini()), "[QUARVELD]\nPORT0=00c9\nPORT1=00cd\nPORT2=00cf\nPORT3=00d3\n");
    MainWindow again;
    EXPECT_EQ(again.Settings(), (PortSettings{201, 205, 207, 211}));
}

// A folder in the file's place: once the window is up it says that the
// defaults are in use; a save at the end says where it failed and why.
TEST(MainWindow, ASettingsFileThatIsAFolderIsNamedAtStartAndAtTheSave) {
    testsupport::SettingsFolder settings;
    std::filesystem::create_directory(settings.Ini());  // a folder holds the file's place
    QStringList told;
    ModalAnswerer answer([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            told << box->text();
            testsupport::SaveScreenshot(*box, told.size() == 1 ? "settings_not_read" : "settings_not_saved");
            box->accept();
        } else {
            modal->findChild<QPushButton*>("YES")->click();
        }
        return true;
    });
    MainWindow window;
    window.show();
    ASSERT_TRUE(testsupport::WaitFor([&] { return told.size() == 1; })) << "no word at the start";
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.Settings(), PortSettings{});
    EXPECT_EQ(told[0], QString::fromStdString("The port settings could not be read from " + settings.Ini() +
                                              ": it is a folder, not a file. The default settings are used."));
    window.close();
    EXPECT_TRUE(testsupport::WaitFor([&] { return !window.isVisible(); }));
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].contains(QString::fromStdString(settings.Ini()))) << told[1].toStdString();
    EXPECT_TRUE(told[1].contains("it is a folder, not a file")) << told[1].toStdString();
}

TEST(MainWindow, CancelAndEscapeKeepTheProgramRunningWithNothingSaved) {
    testsupport::SettingsFolder settings;
    {
        std::ofstream(settings.Ini()) << "[QUARVELD]\nPORT0=00c9\nPORT1=00ce\nPORT2=00d1\nPORT3=00d3\n"
                                         "[Devices]\nCOM2=/dev/ttyUSB1\n";
    }
    const std::string before = ReadAll(settings.Ini());
    MainWindow window;
    window.show();
    EXPECT_EQ(window.Settings(), (PortSettings{201, 206, 209, 211}));
    EXPECT_EQ(window.Devices().COM2, "/dev/ttyUSB1");
    EXPECT_EQ(window.Devices().COM1, "/dev/ttyS0");

    CloseAnswering(window, "CANCEL");
    EXPECT_TRUE(window.isVisible());
    CloseAnswering(window, "Escape", true);
    EXPECT_TRUE(window.isVisible());
    CloseAnswering(window, "NO", true);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(ReadAll(settings.Ini()), before);
}

TEST(ExitDialog, EnterTakesYes) {
    ExitDialog dialog(nullptr);
    EXPECT_EQ(dialog.size(), QSize(270, 65));  // 180 x 40 dialog units at 6 x 13 pixels a character
    ModalAnswerer answer([&](QWidget* modal) {
        testsupport::SaveScreenshot(*modal, "exit_dialog");
        QTest::keyClick(modal, Qt::Key_Return);
        return true;
    });
    EXPECT_EQ(dialog.exec(), 6);
}

}  // namespace
