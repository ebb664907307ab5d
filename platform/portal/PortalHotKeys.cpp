#include "PortalHotKeys.h"

#include "platform/VirtualKeys.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <algorithm>

namespace platform {

namespace {

const QString Portal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString GlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString HostRegistry = QStringLiteral("org.freedesktop.host.portal.Registry");
constexpr uint Success = 0;
constexpr int CloseTimeoutMs = 1000;

QDBusMessage PortalCall(const QString& interface, const QString& method)
{
    return QDBusMessage::createMethodCall(Portal, PortalPath, interface, method);
}

bool SameKeys(const std::vector<HotKey>& a, const std::vector<HotKey>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HotKey& x, const HotKey& y) {
        return x.hwnd == y.hwnd && x.id == y.id && x.name == y.name;
    });
}

// Debian 12's portal answers with the session handle as a string, later ones as an object path.
QString PathFrom(const QVariant& value)
{
    return value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path() : value.toString();
}

} // namespace

bool PortalHotKeys::IsOffered(const QDBusConnection& bus, int timeoutMs)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get = PortalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << GlobalShortcuts << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

PortalHotKeys::PortalHotKeys(QDBusConnection bus, QString appId, bool x11Handles, Pressed pressed, Bound bound)
    : m_bus(std::move(bus)), m_appId(std::move(appId)), m_x11Handles(x11Handles), m_pressed(std::move(pressed)),
      m_bound(std::move(bound))
{
    RegisterPortalShortcutTypes();
    m_bus.connect(Portal, PortalPath, GlobalShortcuts, QStringLiteral("Activated"), this,
                  SLOT(Activated(QDBusMessage)));
    m_bus.connect(Portal, PortalPath, GlobalShortcuts, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(ShortcutsChanged(QDBusMessage)));
    m_changed.setSingleShot(true);
    m_changed.setInterval(0);
    connect(&m_changed, &QTimer::timeout, this, &PortalHotKeys::Sync);
}

PortalHotKeys::~PortalHotKeys()
{
    CloseSession(QDBus::Block);
}

bool PortalHotKeys::Grab(const HotKey& key)
{
    m_keys.push_back(key);
    m_changed.start();
    return true;
}

void PortalHotKeys::Release(const HotKey& key)
{
    std::erase_if(m_keys, [&](const HotKey& k) { return k.hwnd == key.hwnd && k.id == key.id; });
    m_changed.start();
}

QString PortalHotKeys::TakeActivationToken()
{
    return std::exchange(m_activationToken, {});
}

void PortalHotKeys::Sync()
{
    if (m_stage == Stage::Registering || m_stage == Stage::Creating)
        return; // the answer carries on with the keys registered by then
    if (m_stage != Stage::Closed && SameKeys(m_keys, m_sent))
        return;
    // A session binds its shortcuts once: other keys need a session of their own.
    CloseSession(QDBus::NoBlock);
    if (m_keys.empty())
        return;
    if (m_appId.contains(QLatin1Char('.')))
        RegisterApplication();
    else
        CreateSession();
}

void PortalHotKeys::RegisterApplication()
{
    m_stage = Stage::Registering;
    QDBusMessage call = PortalCall(HostRegistry, QStringLiteral("Register"));
    call << std::exchange(m_appId, {}) << QVariantMap{};
    // Older portals lack the registry, and a desktop without the program's .desktop file refuses
    // the id: either way the keys are still bound, under a name the desktop makes up.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        CreateSession();
    });
}

void PortalHotKeys::CreateSession()
{
    m_stage = Stage::Creating;
    const QString token = NextToken();
    QDBusMessage call = PortalCall(GlobalShortcuts, QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("session_handle_token"), token}};
    Request(call, token);
}

void PortalHotKeys::BindShortcuts()
{
    m_stage = Stage::Binding;
    m_sent = m_keys;
    PortalShortcuts shortcuts;
    for (const HotKey& key : m_sent) {
        shortcuts.append({key.name,
                          {{QStringLiteral("description"), key.description.isEmpty() ? key.name : key.description},
                           {QStringLiteral("preferred_trigger"), TriggerOf(key.fsModifiers, key.vk)}}});
    }
    const HWND parent = m_sent.front().hwnd;
    const QString parentWindow =
        m_x11Handles && parent != 0 ? QStringLiteral("x11:%1").arg(static_cast<quint32>(parent), 0, 16) : QString();
    const QString token = NextToken();
    QDBusMessage call = PortalCall(GlobalShortcuts, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts) << parentWindow
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    Request(call, token);
}

void PortalHotKeys::CloseSession(QDBus::CallMode mode)
{
    if (!m_session.isEmpty()) {
        const QDBusMessage close =
            QDBusMessage::createMethodCall(Portal, m_session, SessionInterface, QStringLiteral("Close"));
        if (mode == QDBus::Block)
            m_bus.call(close, QDBus::Block, CloseTimeoutMs);
        else
            m_bus.asyncCall(close);
    }
    AwaitResponse({});
    m_session.clear();
    m_sent.clear();
    m_stage = Stage::Closed;
}

void PortalHotKeys::Request(QDBusMessage call, const QString& token)
{
    // The Response may follow the reply at once, so its match is in place before the call.
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    AwaitResponse(QStringLiteral("%1/request/%2/%3").arg(PortalPath, sender, token));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const QString expected = m_request;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, expected](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (m_request != expected)
            return; // overtaken by a newer request
        const QDBusPendingReply<QDBusObjectPath> reply = *done;
        if (reply.isError())
            Refused();
        else if (reply.value().path() != expected)
            AwaitResponse(reply.value().path()); // portals older than the handle_token convention
    });
}

void PortalHotKeys::AwaitResponse(const QString& requestPath)
{
    if (!m_request.isEmpty())
        m_bus.disconnect(Portal, m_request, RequestInterface, QStringLiteral("Response"), this,
                         SLOT(Responded(QDBusMessage)));
    m_request = requestPath;
    if (!m_request.isEmpty())
        m_bus.connect(Portal, m_request, RequestInterface, QStringLiteral("Response"), this,
                      SLOT(Responded(QDBusMessage)));
}

void PortalHotKeys::Responded(const QDBusMessage& response)
{
    const QList<QVariant> arguments = response.arguments();
    if (response.path() != m_request || arguments.size() < 2)
        return;
    AwaitResponse({});
    const QVariantMap results = qdbus_cast<QVariantMap>(arguments.at(1));
    if (arguments.at(0).toUInt() != Success) {
        Refused();
        return;
    }
    if (m_stage == Stage::Creating) {
        m_session = PathFrom(results.value(QStringLiteral("session_handle")));
        if (m_keys.empty()) {
            CloseSession(QDBus::NoBlock);
            return;
        }
        BindShortcuts();
    } else if (m_stage == Stage::Binding) {
        m_stage = Stage::Bound;
        Report(ShortcutsFrom(results.value(QStringLiteral("shortcuts"))));
        if (!SameKeys(m_keys, m_sent))
            m_changed.start();
    }
}

void PortalHotKeys::Refused()
{
    // Every key the desktop was asked for stays unbound; the keys are not asked for again, so that
    // a desktop that says no is not asked on every registration.
    std::vector<HotKey> asked = m_stage == Stage::Binding ? m_sent : m_keys;
    CloseSession(QDBus::NoBlock);
    m_sent = asked;
    m_stage = Stage::Bound;
    Report({});
}

void PortalHotKeys::Report(const PortalShortcuts& given)
{
    std::vector<Binding> bindings;
    for (const HotKey& key : m_sent) {
        const auto found = std::find_if(given.begin(), given.end(),
                                        [&](const PortalShortcut& s) { return s.id == key.name; });
        bindings.push_back({key, found == given.end()
                                     ? QString()
                                     : found->properties.value(QStringLiteral("trigger_description")).toString()});
    }
    m_bound(bindings);
}

void PortalHotKeys::Activated(const QDBusMessage& activation)
{
    const QList<QVariant> arguments = activation.arguments();
    if (arguments.size() < 2 || !OfOwnSession(arguments))
        return;
    const QString id = arguments.at(1).toString();
    const auto found = std::find_if(m_keys.begin(), m_keys.end(), [&](const HotKey& k) { return k.name == id; });
    if (found == m_keys.end())
        return;
    if (arguments.size() >= 4) {
        m_activationToken =
            qdbus_cast<QVariantMap>(arguments.at(3)).value(QStringLiteral("activation_token")).toString();
    }
    // A copy: the receiver may release this very key.
    const HotKey pressed = *found;
    m_pressed(pressed);
}

void PortalHotKeys::ShortcutsChanged(const QDBusMessage& change)
{
    const QList<QVariant> arguments = change.arguments();
    if (arguments.size() < 2 || !OfOwnSession(arguments))
        return;
    Report(ShortcutsFrom(arguments.at(1)));
}

bool PortalHotKeys::OfOwnSession(const QList<QVariant>& arguments) const
{
    return !arguments.isEmpty() && !m_session.isEmpty() && PathFrom(arguments.at(0)) == m_session;
}

QString PortalHotKeys::NextToken()
{
    return QStringLiteral("horchpult%1").arg(++m_tokens);
}

} // namespace platform
