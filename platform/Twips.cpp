#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace platform {

double Twips::Scale(const QWidget* widget)
{
    const QScreen* screen = widget != nullptr ? widget->screen() : QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
    return dpi / PerInch;
}

int Twips::ToPixels(double twips, const QWidget* widget)
{
    return static_cast<int>(std::lround(twips * Scale(widget)));
}

QRect Twips::ToPixels(const QRectF& twips, const QWidget* widget)
{
    const double scale = Scale(widget);
    const int left = static_cast<int>(std::lround(twips.left() * scale));
    const int top = static_cast<int>(std::lround(twips.top() * scale));
    // Edges are rounded, not sizes, so neighbouring controls meet without gaps.
    const int right = static_cast<int>(std::lround((twips.left() + twips.width()) * scale));
    const int bottom = static_cast<int>(std::lround((twips.top() + twips.height()) * scale));
    return QRect(left, top, right - left, bottom - top);
}

double Twips::FromPixels(int pixels, const QWidget* widget)
{
    return pixels / Scale(widget);
}

} // namespace platform
