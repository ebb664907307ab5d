#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

namespace platform {

// One entry of the global-shortcuts portal's lists (D-Bus signature (sa{sv})): a shortcut id and
// its properties, such as "description", "preferred_trigger" or "trigger_description".
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

// Makes both types known to QtDBus; call before the first use.
void RegisterPortalShortcutTypes();

// The list a portal answered with in a reply or a signal.
PortalShortcuts ShortcutsFrom(const QVariant& value);

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut);

} // namespace platform

Q_DECLARE_METATYPE(platform::PortalShortcut)
