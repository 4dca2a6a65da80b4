// The yardstick for the start-up benchmark: a bare Qt Widgets window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(328, 409);
    window.show();
    return app.exec();
}
