#pragma once

#include <QColor>
#include <QPixmap>

namespace player {

// A foot pedal seen from the side, size pixels square in the given colour: a base and a tilted
// tread on its hinge.
QPixmap PedalSymbol(int size, qreal devicePixelRatio, const QColor& color);

} // namespace player
