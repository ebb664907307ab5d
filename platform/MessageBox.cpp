#include "MessageBox.h"

#include <QMessageBox>

namespace platform {

void ShowMessageBox(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle, text, QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("messageBox"));
    box.exec();
}

} // namespace platform
