#pragma once

#include <QString>

class QWidget;

namespace platform {

inline const QString ApplicationTitle = QStringLiteral("Horchpult");

// A modal message box with an OK button only, no icon and the application's title. Returns
// when the user has closed it; other events of the program run meanwhile.
void ShowMessageBox(QWidget* owner, const QString& text);

} // namespace platform
