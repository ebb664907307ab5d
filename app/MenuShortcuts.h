#pragma once

#include <QList>
#include <QObject>

class QAction;
class QEvent;

namespace app {

// Keeps the menu's shortcuts for the menu wherever the keyboard focus is in the window, as menu
// accelerators are on Windows. Installed as an event filter on a control that would claim some of
// them for itself: Qt's line edit takes Ctrl+E to the end of the line on Linux desktops.
class MenuShortcutsFirst final : public QObject {
public:
    MenuShortcutsFirst(QList<QAction*> items, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<QAction*> m_items;
};

} // namespace app
