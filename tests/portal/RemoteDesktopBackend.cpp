#include "RemoteDesktopBackend.h"

#include <xkbcommon/xkbcommon.h>

namespace testing_support {

namespace {
constexpr uint Cancelled = 1;
}

RemoteDesktopBackend::RemoteDesktopBackend(ShortcutsBackend& shortcuts) : QDBusAbstractAdaptor(&shortcuts) {}

QString RemoteDesktopBackend::Typed() const
{
    QString typed;
    for (const auto& [keysym, state] : keysyms) {
        if (state == 1)
            typed += QString::fromUcs4(std::u32string(1, xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(keysym))).c_str(), 1);
    }
    return typed;
}

uint RemoteDesktopBackend::CreateSession(const QDBusObjectPath&, const QDBusObjectPath&, const QString&,
                                         const QVariantMap&, QVariantMap& results)
{
    results = {};
    return 0;
}

uint RemoteDesktopBackend::SelectDevices(const QDBusObjectPath&, const QDBusObjectPath&, const QString&,
                                         const QVariantMap& options, QVariantMap& results)
{
    m_devices = options.value(QStringLiteral("types"), AvailableDeviceTypes()).toUInt();
    selectedDevices.push_back(m_devices);
    results = {};
    return 0;
}

uint RemoteDesktopBackend::Start(const QDBusObjectPath&, const QDBusObjectPath&, const QString&, const QString&,
                                 const QVariantMap&, QVariantMap& results)
{
    ++starts;
    if (decline) {
        results = {};
        return Cancelled;
    }
    results = {{QStringLiteral("devices"), m_devices}};
    return 0;
}

void RemoteDesktopBackend::NotifyKeyboardKeysym(const QDBusObjectPath&, const QVariantMap&, int keysym, uint state)
{
    keysyms.emplace_back(keysym, state);
}

} // namespace testing_support
