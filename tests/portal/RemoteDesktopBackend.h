#pragma once

#include "ShortcutsBackend.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <utility>
#include <vector>

namespace testing_support {

// The desktop's side of the remote-desktop portal, beside the global shortcuts on the same
// backend object: it records the devices asked for, each Start and every keysym the program
// sends, and starts the session with the devices asked for unless told to decline.
class RemoteDesktopBackend final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.RemoteDesktop")
    Q_PROPERTY(uint AvailableDeviceTypes READ AvailableDeviceTypes)
    Q_PROPERTY(uint version READ version)
public:
    static constexpr uint Keyboard = 1;
    static constexpr uint Pointer = 2;

    // Lives as long as the shortcuts backend, which owns it.
    explicit RemoteDesktopBackend(ShortcutsBackend& shortcuts);

    uint AvailableDeviceTypes() const { return Keyboard | Pointer; }
    uint version() const { return 1; }

    bool decline = false;              // the user says no to the program's Start
    std::vector<uint> selectedDevices; // the types of each SelectDevices
    int starts = 0;
    std::vector<std::pair<int, uint>> keysyms; // keysym and state (1 pressed, 0 released)

    // The keysyms pressed, in order, as characters.
    QString Typed() const;

public slots:
    uint CreateSession(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& appId,
                       const QVariantMap& options, QVariantMap& results);
    uint SelectDevices(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& appId,
                       const QVariantMap& options, QVariantMap& results);
    uint Start(const QDBusObjectPath& handle, const QDBusObjectPath& session, const QString& appId,
               const QString& parentWindow, const QVariantMap& options, QVariantMap& results);
    void NotifyKeyboardKeysym(const QDBusObjectPath& session, const QVariantMap& options, int keysym, uint state);

private:
    uint m_devices = 0;
};

} // namespace testing_support
