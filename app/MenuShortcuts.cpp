#include "MenuShortcuts.h"

#include <QAction>
#include <QKeyEvent>

#include <algorithm>
#include <utility>

namespace app {

MenuShortcutsFirst::MenuShortcutsFirst(QList<QAction*> items, QObject* parent)
    : QObject(parent), m_items(std::move(items))
{
}

bool MenuShortcutsFirst::eventFilter(QObject* /*watched*/, QEvent* event)
{
    if (event->type() != QEvent::ShortcutOverride)
        return false;
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    const bool ours = std::any_of(m_items.cbegin(), m_items.cend(),
                                  [&](const QAction* item) { return item->shortcut() == pressed; });
    if (!ours)
        return false;
    // Not accepted, the override falls through to the window's shortcuts.
    event->ignore();
    return true;
}

} // namespace app
