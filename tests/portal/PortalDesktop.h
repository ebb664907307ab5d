#pragma once

#include "ShortcutsBackend.h"

#include "../desktop/PrivateBus.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testing_support {

// Debian's real desktop-portal front-end on a message bus of the test's own, with the test's
// backend for global shortcuts chosen through a .portal file and XDG_CURRENT_DESKTOP, as a
// desktop's own backend is. Without the front-end the bus has no portal at all: nothing on it
// can be started on demand.
class PortalDesktop {
public:
    enum class FrontEnd { Running, Absent };

    explicit PortalDesktop(FrontEnd frontEnd = FrontEnd::Running);
    ~PortalDesktop();
    PortalDesktop(const PortalDesktop&) = delete;
    PortalDesktop& operator=(const PortalDesktop&) = delete;

    // Empty when everything is up; otherwise what did not start.
    const QString& Failure() const { return m_failure; }
    const QString& Address() const { return m_bus->Address(); }
    ShortcutsBackend& Backend() { return *m_backend; }
    // A connection of the program's own to this bus.
    QDBusConnection Connect(const QString& name) { return m_bus->Connect(name); }

    // Whether the front-end files programs under an application id they register (newer ones do);
    // it knows the launcher of ApplicationId.
    bool OffersRegistry();
    static constexpr const char* ApplicationId = "org.horchpult.horchpult";

    // Makes this bus the session bus of the programs this process starts, and the session a
    // Wayland one.
    void BecomeTheSession() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<ShortcutsBackend> m_backend;
    QProcess m_frontEnd;
    QString m_failure;
};

} // namespace testing_support
