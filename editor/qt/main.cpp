// Kelvane2: starting the program creates, loads and shows the simple window.
#include <QApplication>

#include "app.hpp"
#include "simple_window.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane2"));
    QApplication::setFont(kelvane::WindowFont());
    QApplication::setWindowIcon(kelvane::ProgramIcon());
    // A window handed over is only hidden; the program ends when neither is loaded.
    QApplication::setQuitOnLastWindowClosed(false);

    kelvane::formSimple form;
    QObject::connect(&form, &kelvane::formSimple::programEnded, &app, &QApplication::quit, Qt::QueuedConnection);
    form.Load();
    form.show();
    return QApplication::exec();
}
