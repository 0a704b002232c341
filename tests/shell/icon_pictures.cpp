#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <cstdio>

namespace {

// The drawing of shell/icons/corvane.svg, on its 32-unit grid, smoothed: the
// pictures of the larger sizes are made from it, once, and kept with the sources.
QImage IconPicture(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    const QPen outline(Qt::black, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);

    painter.setPen(outline);
    painter.setBrush(QColor(0x00, 0x00, 0x80));
    painter.drawRect(QRectF(1.5, 1.5, 29, 20));
    painter.setBrush(QColor(0x00, 0x80, 0x80));
    painter.drawRect(QRectF(4.5, 24.5, 23, 6));
    painter.fillRect(QRectF(14, 22, 3, 2), Qt::black);
    painter.fillRect(QRectF(7, 26, 2, 2), QColor(0x00, 0xff, 0x00));
    painter.fillRect(QRectF(11, 26, 2, 2), QColor(0x00, 0xff, 0x00));

    painter.setPen(QPen(QColor(0xff, 0xff, 0x00), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QPolygonF pulse{{3, 12}, {9, 12}, {12, 5}, {16, 18}, {19, 9}, {21, 12}, {28, 12}};
    painter.drawPolyline(pulse);
    painter.end();
    return image;
}

} // namespace

// Not a test: icon_pictures FOLDER writes corvane-48.png, corvane-64.png and
// corvane-128.png there. The 32-pixel picture is the window's own (window_snapshot).
int main(int argc, char *argv[])
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: icon_pictures FOLDER\n", stderr);
        return 2;
    }
    for (const int size : {48, 64, 128}) {
        const QString path =
            QStringLiteral("%1/corvane-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!IconPicture(size).save(path))
            return 1;
    }
    return 0;
}
