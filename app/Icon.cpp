#include "Icon.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace app {

QPixmap IconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size / 32.0;

    // The page.
    painter.setPen(QPen(QColor(40, 40, 40), std::max(1.0, s)));
    painter.setBrush(QColor(250, 250, 245));
    painter.drawRect(QRectF(2 * s, 3 * s, 20 * s, 26 * s));
    painter.setPen(QPen(QColor(90, 90, 90), std::max(1.0, 1.5 * s)));
    for (int line = 0; line < 5; ++line) {
        const double y = (9 + line * 4.5) * s;
        painter.drawLine(QPointF(5 * s, y), QPointF((line == 4 ? 13 : 18) * s, y));
    }

    // The sound waves, in the title's red.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(220, 0, 0), std::max(1.5, 2.5 * s), Qt::SolidLine, Qt::RoundCap));
    for (int wave = 0; wave < 3; ++wave) {
        const double r = (4 + wave * 4) * s;
        painter.drawArc(QRectF(24 * s - r, 16 * s - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    }
    return pixmap;
}

QIcon HorchpultIcon()
{
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(IconPixmap(size));
    return icon;
}

} // namespace app
