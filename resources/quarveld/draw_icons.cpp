// Draws the flash writer's three icons as PNG files into the folder given on
// the command line. Run once; the PNGs are kept with the sources:
//   cmake --build <build> --target quarveld_draw_icons && <build>/writer/quarveld_draw_icons resources/quarveld
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

// Every icon is drawn on a 32 x 32 grid and scaled to the size asked for.
using Drawing = std::function<void(QPainter&)>;

void MemoryChip(QPainter& p) {
    p.fillRect(QRectF(0, 0, 32, 32), QColor(0xC8, 0x10, 0x18));
    // pins, seven a side
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE4, 0xE4, 0xE4));
    for (int i = 0; i < 7; ++i) {
        double y = 6.5 + i * 3.0;
        p.drawRect(QRectF(4, y, 5, 1.6));
        p.drawRect(QRectF(23, y, 5, 1.6));
    }
    // body
    p.setBrush(QColor(0x80, 0x80, 0x84));
    p.setPen(QPen(QColor(0x40, 0x40, 0x44), 1.0));
    p.drawRoundedRect(QRectF(8.5, 4.5, 15, 23), 1.5, 1.5);
    // orientation notch and a highlight along the top edge
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x50, 0x50, 0x54));
    p.drawEllipse(QPointF(12, 8.5), 1.6, 1.6);
    p.setBrush(QColor(0xA8, 0xA8, 0xAC));
    p.drawRect(QRectF(9.5, 5.5, 13, 1));
}

void RoundedField(QPainter& p, const QColor& fill, const QColor& edge) {
    p.setPen(QPen(edge, 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
}

void Information(QPainter& p) {
    RoundedField(p, QColor(0xD0, 0x18, 0x20), QColor(0x80, 0x08, 0x0C));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 8.5), 2.6, 2.6);
    QPainterPath stem;
    stem.moveTo(12.5, 13);
    stem.lineTo(18.5, 13);
    stem.lineTo(18.5, 23.5);
    stem.lineTo(20.5, 23.5);
    stem.lineTo(20.5, 26);
    stem.lineTo(11.5, 26);
    stem.lineTo(11.5, 23.5);
    stem.lineTo(13.5, 23.5);
    stem.lineTo(13.5, 15.5);
    stem.lineTo(12.5, 15.5);
    stem.closeSubpath();
    p.drawPath(stem);
}

void Exclamation(QPainter& p) {
    RoundedField(p, QColor(0x30, 0xD0, 0xE0), QColor(0x10, 0x70, 0x80));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x10));
    QPainterPath bar;
    bar.moveTo(13, 5.5);
    bar.lineTo(19, 5.5);
    bar.lineTo(17.3, 19.5);
    bar.lineTo(14.7, 19.5);
    bar.closeSubpath();
    p.drawPath(bar);
    p.drawEllipse(QPointF(16, 24.2), 2.6, 2.6);
}

bool Save(const Drawing& draw, int size, const QString& path) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    draw(p);
    p.end();
    return image.save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quarveld_draw_icons FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const struct { int id; Drawing draw; } icons[] = {{101, MemoryChip}, {102, Information}, {103, Exclamation}};
    bool ok = true;
    for (const auto& icon : icons) {
        for (int size : {16, 32, 48, 128}) {
            ok = Save(icon.draw, size, QString("%1/icon%2_%3.png").arg(folder).arg(icon.id).arg(size)) && ok;
        }
    }
    return ok ? 0 : 1;
}
