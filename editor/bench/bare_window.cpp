// The yardstick for the start-up benchmark: a bare Qt Widgets window, or
// with --text the same window with one line of text in it.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.resize(328, 409);
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        auto* line = new QLabel(QStringLiteral("Memory Switch 0"), &window);
        line->move(8, 8);
    }
    window.show();
    return app.exec();
}
