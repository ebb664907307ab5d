#pragma once

#include <QRect>
#include <QRectF>

class QWidget;

namespace platform {

// Twips (1/1440 inch) to Qt's device-independent pixels and back, by the screen's logical
// DPI: 15 twips a pixel at 96 DPI. The one conversion for every control's geometry.
class Twips {
public:
    static constexpr double PerInch = 1440.0;

    // Pixels per twip for the screen the widget is on (the primary screen without one).
    static double Scale(const QWidget* widget = nullptr);
    static int ToPixels(double twips, const QWidget* widget = nullptr);
    static QRect ToPixels(const QRectF& twips, const QWidget* widget = nullptr);
    static double FromPixels(int pixels, const QWidget* widget = nullptr);
};

} // namespace platform
