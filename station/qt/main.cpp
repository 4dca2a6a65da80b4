// quarveld-station: the flash station's window.
#include <QApplication>
#include <QStyleFactory>

#include <cstdio>
#include <string>
#include <vector>

#include "station_window.hpp"

namespace {

const char* const Usage =
    "usage: quarveld-station [--port DEVICE]... [IMAGE]\n"
    "Opens the flash station: many printers written at once from one checked image,\n"
    "with a record of every unit. The ports given are added and ticked, the image\n"
    "is checked, and Start has the focus: Enter writes them.\n";

}  // namespace

int main(int argc, char** argv) {
    // Read before the window system is asked for, so --help needs no desktop.
    std::vector<std::string> ports;
    const char* image = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--port") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "quarveld-station: --port needs a device\n%s", Usage);
                return 2;
            }
            ports.push_back(argv[++i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "quarveld-station: unknown option %s\n%s", arg.c_str(), Usage);
            return 2;
        } else if (image == nullptr) {
            image = argv[i];
        } else {
            std::fprintf(stderr, "quarveld-station: one image at a time (%s, %s)\n%s", image, argv[i], Usage);
            return 2;
        }
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/station/quarveld-station_48.png")));
    quarveld::StationWindow window(ports, image ? QString::fromLocal8Bit(image) : QString());
    window.show();
    return QApplication::exec();
}
