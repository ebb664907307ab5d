#pragma once

#include <QString>

namespace app {

// The window's failure messages, each shown in the program's message box.
inline const QString PlaybackFailed = QStringLiteral("Fehler: Mediadatei kann nicht abgespielt werden");
inline const QString MediaRefused = QStringLiteral("Fehler: Mediadatei kann nicht abgespielt werden!");
inline const QString OpenFailed = QStringLiteral("Fehler, Mediandatei kann nicht geöffnet werden!");
inline const QString JumpFailed = QStringLiteral("Fehler: Sprung nicht möglich!\"");

} // namespace app
