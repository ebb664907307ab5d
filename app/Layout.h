#pragma once

#include <QRectF>
#include <QString>

class QLineEdit;
class QWidget;

namespace app {

// What every control of the window shares: a name, a rectangle in twips of its parent's client
// area and a place in the focus order.
struct Placement {
    const char* name;
    QRectF twips;
    int tabIndex;
};

// Puts the control at its place in twips and names it for code, screen readers and tests.
void Place(QWidget& control, const Placement& placement);

// A display box shows program output only: disabled, not editable, on the button face.
void MakeDisplayBox(QLineEdit& box);
// The editable state: enabled, editable, on the background of editable text.
void MakeEditable(QLineEdit& box);

} // namespace app
