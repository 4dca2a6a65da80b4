// QUARVELD, the flash writer.
#include <QApplication>
#include <QStyleFactory>

#include "dialog_base.hpp"
#include "shell.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(quarveld::DialogFont());
    QApplication::setWindowIcon(quarveld::ProgramIcon(101));
    quarveld::MainWindow window;
    window.show();
    return QApplication::exec();
}
