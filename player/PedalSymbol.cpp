#include "PedalSymbol.h"

#include <QPainter>
#include <QPainterPath>

namespace player {

QPixmap PedalSymbol(int size, qreal devicePixelRatio, const QColor& color)
{
    QPixmap symbol(QSize(size, size) * devicePixelRatio);
    symbol.setDevicePixelRatio(devicePixelRatio);
    symbol.fill(Qt::transparent);
    QPainter painter(&symbol);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(1, 12, 14, 3), 1, 1);
    QPainterPath tread;
    tread.moveTo(2, 11);
    tread.lineTo(14, 4.5);
    tread.lineTo(15, 6.5);
    tread.lineTo(4, 12);
    tread.closeSubpath();
    painter.drawPath(tread);
    painter.drawEllipse(QRectF(1.5, 9.5, 3, 3));
    return symbol;
}

} // namespace player
