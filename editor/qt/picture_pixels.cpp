// Build tool: writes pictures as pixel arrays into a C++ source file.
//   picture_pixels OUT.cpp NAME=PICTURE...
#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);  // image format plugins are found through it
    if (argc < 3) {
        std::fprintf(stderr, "usage: picture_pixels OUT.cpp NAME=PICTURE...\n");
        return 2;
    }
    std::string out = "// Made by picture_pixels from the program's pictures.\n"
                      "#include \"pictures.hpp\"\n\nnamespace kelvane::pictures {\n";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto equals = arg.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "picture_pixels: %s is not NAME=PICTURE\n", argv[i]);
            return 2;
        }
        const std::string name = arg.substr(0, equals), path = arg.substr(equals + 1);
        const QImage image = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) {
            std::fprintf(stderr, "picture_pixels: cannot read %s\n", path.c_str());
            return 1;
        }
        out += "\nstatic const std::uint32_t " + name + "Pixels[] = {";
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                char pixel[24];
                std::snprintf(pixel, sizeof pixel, "%s0x%08x,", x % 8 ? " " : "\n    ", row[x]);
                out += pixel;
            }
        }
        out += "\n};\nconst Picture " + name + " = {" + std::to_string(image.width()) + ", " +
               std::to_string(image.height()) + ", " + name + "Pixels};\n";
    }
    out += "\n}  // namespace kelvane::pictures\n";
    std::ofstream file(argv[1], std::ios::binary);
    file << out;
    if (!file.flush()) {
        std::fprintf(stderr, "picture_pixels: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
