// Draws the flash station's icon as PNG files into the folder given on the
// command line, in QUARVELD's colours: three memory chips side by side on
// the red field, each with its bar beneath, as the station's rows show them.
// Run once; the PNGs are kept with the sources:
//   cmake --build <build> --target station_draw_icons && <build>/station/qt/station_draw_icons resources/station
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>

namespace {

// Drawn on a 32 x 32 grid and scaled to the size asked for.
void Station(QPainter& p) {
    p.setPen(QPen(QColor(0x80, 0x08, 0x0C), 1.0));
    p.setBrush(QColor(0xC8, 0x10, 0x18));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 5, 5);
    const QColor bars[] = {QColor(0x3C, 0xD0, 0x5A), QColor(0x3C, 0xD0, 0x5A), QColor(0xF0, 0xC0, 0x20)};
    for (int i = 0; i < 3; ++i) {
        const double x = 4.5 + i * 8.5;
        // pins, three a side
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xE4, 0xE4, 0xE4));
        for (int k = 0; k < 3; ++k) {
            p.drawRect(QRectF(x - 1.5, 8 + k * 4, 2, 1.4));
            p.drawRect(QRectF(x + 5.5, 8 + k * 4, 2, 1.4));
        }
        // body
        p.setBrush(QColor(0x80, 0x80, 0x84));
        p.setPen(QPen(QColor(0x40, 0x40, 0x44), 0.8));
        p.drawRoundedRect(QRectF(x, 5.5, 6, 14), 1, 1);
        // the row's bar: filled to the end, or on its way
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x60, 0x08, 0x0C));
        p.drawRect(QRectF(x - 1, 23, 8, 3.5));
        p.setBrush(bars[i]);
        p.drawRect(QRectF(x - 1, 23, i == 2 ? 4.5 : 8, 3.5));
    }
}

bool Save(int size, const QString& path) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    Station(p);
    p.end();
    return image.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: station_draw_icons FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    for (int size : {16, 32, 48, 128})
        ok = Save(size, QString("%1/quarveld-station_%2.png").arg(folder).arg(size)) && ok;
    return ok ? 0 : 1;
}
