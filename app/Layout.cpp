#include "Layout.h"

#include "platform/Twips.h"

#include <QLineEdit>
#include <QPalette>
#include <QWidget>

namespace app {

namespace {
void SetBackground(QLineEdit& box, QPalette::ColorRole systemColour)
{
    QPalette palette = box.palette();
    const QColor colour = QPalette().color(QPalette::Active, systemColour);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    box.setPalette(palette);
}
} // namespace

void Place(QWidget& control, const Placement& placement)
{
    control.setObjectName(QString::fromLatin1(placement.name));
    control.setGeometry(platform::Twips::ToPixels(placement.twips, &control));
}

void MakeDisplayBox(QLineEdit& box)
{
    box.setEnabled(false);
    box.setReadOnly(true);
    SetBackground(box, QPalette::Button);
}

void MakeEditable(QLineEdit& box)
{
    box.setEnabled(true);
    box.setReadOnly(false);
    SetBackground(box, QPalette::Base);
}

} // namespace app
