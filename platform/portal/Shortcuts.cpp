#include "Shortcuts.h"

#include <QDBusMetaType>

namespace platform {

void RegisterPortalShortcutTypes()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    // Slots that take the list name it by its alias.
    qRegisterMetaType<PortalShortcuts>("platform::PortalShortcuts");
}

PortalShortcuts ShortcutsFrom(const QVariant& value)
{
    PortalShortcuts shortcuts;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> shortcuts;
    else
        shortcuts = value.value<PortalShortcuts>();
    return shortcuts;
}

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace platform
