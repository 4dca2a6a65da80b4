// quarveld-station: the flash station's window.
#include <QApplication>
#include <QStyleFactory>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialog_base.hpp"
#include "station_window.hpp"

namespace {

const char* const Usage =
    "usage: quarveld-station [--port DEVICE]... [IMAGE]\n"
    "Opens the flash station: many printers written at once from one checked image,\n"
    "with a record of every unit. The ports given are added and ticked, the image\n"
    "is checked, and Start has the focus: Enter writes them.\n";

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> ports;
    QString image;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == QStringLiteral("--port")) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
                std::fprintf(stderr, "quarveld-station: --port needs a device\n%s", Usage);
                return 2;
            }
            ports.push_back(args[++i].toStdString());
        } else if (arg.startsWith('-') && arg.size() > 1) {
            std::fprintf(stderr, "quarveld-station: unknown option %s\n%s", arg.toLocal8Bit().constData(), Usage);
            return 2;
        } else if (image.isEmpty()) {
            image = arg;
        } else {
            std::fprintf(stderr, "quarveld-station: one image at a time\n%s", Usage);
            return 2;
        }
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/station/quarveld-station_48.png")));
    quarveld::StationWindow window(ports, image);
    window.show();
    return QApplication::exec();
}
