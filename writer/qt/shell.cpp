#include "shell.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "dialog_base.hpp"
#include "notices.hpp"
#include "port_dialog.hpp"
#include "settings_file.hpp"
#include "write_dialog.hpp"

namespace quarveld {

MainWindow::MainWindow() : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                    Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("QUARVELD"));
    const ProfileFile ini(SettingsFilePath());
    LoadPortSettings(settings_, ini);
    devices_ = LoadDeviceMap(ini);

    setWindowTitle(QStringLiteral("Flarnex  Ver1.1.0.1"));
    setWindowIcon(ProgramIcon(101));
    setFont(DialogFont());

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setAutoFillBackground(true);
    QPalette white = client->palette();
    white.setColor(QPalette::Window, Qt::white);
    client->setPalette(white);
    setCentralWidget(client);

    // Three commands right in the menu bar, no drop-down menus.
    QMenuBar* bar = menuBar();
    bar->setNativeMenuBar(false);
    const struct { const char* text; int id; void (MainWindow::*slot)(); } items[] = {
        {"&Write !", 301, &MainWindow::WriteCommand},
        {"&Port !", 302, &MainWindow::PortCommand},
        {"&Exit !", 303, &MainWindow::ExitCommand},
    };
    for (const auto& item : items) {
        QAction* action = bar->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QString::number(item.id));
        connect(action, &QAction::triggered, this, item.slot);
    }

    setFixedSize(480, 80);
    move(20, 20);

    // Said once the window is up; the defaults are in use meanwhile.
    const std::string problem = SettingsFileProblem(ini);
    if (!problem.empty()) {
        QTimer::singleShot(0, this, [this, problem] {
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(problem));
        });
    }
}

void MainWindow::WriteCommand() { WriteDialog::Run(this, settings_, devices_); }

void MainWindow::PortCommand() {
    PortDialog dialog(this, settings_);
    dialog.exec();
}

// Posted, like the close button's request, so the menu is done first.
void MainWindow::ExitCommand() {
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    ExitDialog dialog(this);
    switch (dialog.exec()) {
        case IDYES: {
            // The answer stands; but a save that failed is said, not passed over.
            const std::string path = SettingsFilePath();
            std::string why;
            if (!SavePortSettings(settings_, path, &why)) {
                QMessageBox::warning(this, windowTitle(),
                                     QStringLiteral("The port settings could not be saved in %1:\n%2")
                                         .arg(QString::fromStdString(path), QString::fromStdString(why)));
            }
            event->accept();
            break;
        }
        case IDNO:
            event->accept();
            break;
        default:
            event->ignore();
            break;
    }
}

}  // namespace quarveld
