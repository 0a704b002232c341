#include "WindowIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon WindowIcon()
{
    // A console box with a pulse line over it: the line to the router, watched.
    // Drawn in a few plain colours without smoothing, so it stays crisp at 32 x 32.
    const QColor navy(0x00, 0x00, 0x80);
    const QColor teal(0x00, 0x80, 0x80);
    const QColor yellow(0xff, 0xff, 0x00);
    const QColor lime(0x00, 0xff, 0x00);

    QPixmap image(32, 32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.setBrush(navy);
    painter.drawRect(1, 1, 29, 20);
    painter.setBrush(teal);
    painter.drawRect(4, 24, 23, 6);
    painter.fillRect(14, 22, 3, 2, Qt::black);
    painter.fillRect(7, 26, 2, 2, lime);
    painter.fillRect(11, 26, 2, 2, lime);

    painter.setPen(QPen(yellow, 2));
    const QPoint pulse[] = {{3, 12}, {9, 12}, {12, 5}, {16, 18}, {19, 9}, {21, 12}, {28, 12}};
    painter.drawPolyline(pulse, std::size(pulse));
    painter.end();
    return QIcon(image);
}
