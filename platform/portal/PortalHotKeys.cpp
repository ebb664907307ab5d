#include "PortalHotKeys.h"

#include "PortalRequest.h"

#include "platform/VirtualKeys.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QGuiApplication>

#include <algorithm>

namespace platform {

namespace {

const QString GlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString HostRegistry = QStringLiteral("org.freedesktop.host.portal.Registry");
const QString Shortcuts = QStringLiteral("shortcuts");
const QString HandleToken = QStringLiteral("handle_token");
// The same in every run: desktops that know no application id (Plasma with Debian 12's portal)
// file the program's shortcuts under the session's token, and find them again by it.
const QString SessionToken = QStringLiteral("horchpult");
constexpr uint FirstVersionWithOwnPage = 2;
constexpr int CloseTimeoutMs = 1000;

bool SameKeys(const std::vector<HotKey>& a, const std::vector<HotKey>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HotKey& x, const HotKey& y) {
        return x.hwnd == y.hwnd && x.id == y.id && x.name == y.name;
    });
}

} // namespace

void PortalHotKeys::RegisterApplication(const QDBusConnection& bus, const QString& appId, int timeoutMs)
{
    if (!bus.isConnected() || !appId.contains(QLatin1Char('.')))
        return;
    QDBusMessage call = PortalCall(HostRegistry, QStringLiteral("Register"));
    call << appId << QVariantMap{};
    // Refused or not, the keys are still asked for, under a name the desktop makes up.
    bus.call(call, QDBus::Block, timeoutMs);
}

uint PortalHotKeys::OfferedVersion(const QDBusConnection& bus, int timeoutMs)
{
    if (!bus.isConnected())
        return 0;
    QDBusMessage get = PortalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << GlobalShortcuts << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return std::max(1u, qdbus_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toUInt());
}

PortalHotKeys::PortalHotKeys(QDBusConnection bus, uint version, bool x11Handles, Pressed pressed, Bound bound)
    : m_bus(std::move(bus)), m_version(version), m_x11Handles(x11Handles), m_pressed(std::move(pressed)),
      m_bound(std::move(bound))
{
    RegisterPortalShortcutTypes();
    m_bus.connect(PortalService, PortalPath, GlobalShortcuts, QStringLiteral("Activated"), this,
                  SLOT(Activated(QDBusMessage)));
    m_bus.connect(PortalService, PortalPath, GlobalShortcuts, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(ShortcutsChanged(QDBusMessage)));
    m_changed.setSingleShot(true);
    m_changed.setInterval(0);
    connect(&m_changed, &QTimer::timeout, this, &PortalHotKeys::Sync);
    m_requests = new QObject(this);
    // The user may come back from the desktop's settings, where no desktop tells every change.
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive && m_stage == Stage::Open && !m_session.isEmpty() && !m_refreshing) {
            m_refreshing = true;
            ListShortcuts();
        }
    });
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

bool PortalHotKeys::HasOwnPage() const
{
    return m_version >= FirstVersionWithOwnPage;
}

void PortalHotKeys::Choose()
{
    if (HasOwnPage() && !m_session.isEmpty()) {
        QDBusMessage call = PortalCall(GlobalShortcuts, QStringLiteral("ConfigureShortcuts"));
        call << QVariant::fromValue(QDBusObjectPath(m_session)) << ParentWindow() << QVariantMap{};
        m_bus.asyncCall(call);
        return;
    }
    if (m_stage != Stage::Open)
        return; // the desktop is still answering
    // A desktop binds a session's shortcuts once: asking again takes a session of its own.
    CloseSession(QDBus::Block);
    m_bindAnyway = true;
    if (!m_keys.empty())
        CreateSession();
}

QString PortalHotKeys::TakeActivationToken()
{
    return std::exchange(m_activationToken, {});
}

void PortalHotKeys::Sync()
{
    if (m_stage != Stage::Closed && m_stage != Stage::Open)
        return; // the answer carries on with the keys registered by then
    if (m_stage == Stage::Open && SameKeys(m_keys, m_sent))
        return;
    CloseSession(QDBus::NoBlock);
    if (!m_keys.empty())
        CreateSession();
}

void PortalHotKeys::CreateSession()
{
    m_stage = Stage::Creating;
    m_sent = m_keys;
    const QString token = NextHandleToken();
    QDBusMessage call = PortalCall(GlobalShortcuts, QStringLiteral("CreateSession"));
    // Plasma 5.27 takes the shortcuts with the session and binds each to the key the user gave it
    // in an earlier run, or else to its preferred trigger; later front-ends drop the option.
    call << QVariantMap{{HandleToken, token},
                        {QStringLiteral("session_handle_token"), SessionToken},
                        {Shortcuts, QVariant::fromValue(Wanted())}};
    Request(call, token, [this](uint code, const QVariantMap& results) { Created(code, results); });
}

void PortalHotKeys::Created(uint code, const QVariantMap& results)
{
    if (code != PortalRequest::Success) {
        // No session, so no key reaches the program until the user asks again.
        m_stage = Stage::Open;
        Report();
        return;
    }
    m_session = PathFrom(results.value(QStringLiteral("session_handle")));
    m_stage = Stage::Listing;
    ListShortcuts();
}

void PortalHotKeys::ListShortcuts()
{
    const QString token = NextHandleToken();
    QDBusMessage call = PortalCall(GlobalShortcuts, QStringLiteral("ListShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap{{HandleToken, token}};
    Request(call, token, [this](uint code, const QVariantMap& results) { Listed(code, results); });
}

void PortalHotKeys::Listed(uint, const QVariantMap& results)
{
    m_refreshing = false;
    if (results.contains(Shortcuts))
        Take(ShortcutsFrom(results.value(Shortcuts)));
    if (m_stage != Stage::Listing) {
        Report();
        return;
    }
    // A key the desktop lists without a trigger is one the user settled: it is not asked for again.
    const bool missing = std::any_of(m_sent.begin(), m_sent.end(), [&](const HotKey& key) {
        return !m_given.contains(key.name);
    });
    if (missing || m_bindAnyway) {
        BindShortcuts();
        return;
    }
    m_stage = Stage::Open;
    Report();
    if (!SameKeys(m_keys, m_sent))
        m_changed.start();
}

void PortalHotKeys::BindShortcuts()
{
    m_stage = Stage::Binding;
    m_bindAnyway = false;
    const QString token = NextHandleToken();
    QDBusMessage call = PortalCall(GlobalShortcuts, QStringLiteral("BindShortcuts"));
    // Every key, also those the desktop lists already: Plasma drops a session's shortcuts that a
    // binding leaves out, and GNOME holds only the keys of the session's one binding.
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(Wanted()) << ParentWindow()
         << QVariantMap{{HandleToken, token}};
    Request(call, token, [this](uint, const QVariantMap& results) { Answered(results); });
}

void PortalHotKeys::Answered(const QVariantMap& results)
{
    // The shortcuts an answer names are the truth whatever its code: GNOME 48 answers the user's
    // Add with code 2, and a Cancel with the same code and no shortcuts.
    if (results.contains(Shortcuts))
        Take(ShortcutsFrom(results.value(Shortcuts)));
    m_stage = Stage::Open;
    Report();
    if (!SameKeys(m_keys, m_sent))
        m_changed.start();
}

void PortalHotKeys::CloseSession(QDBus::CallMode mode)
{
    if (!m_session.isEmpty())
        ClosePortalSession(m_bus, m_session, mode, CloseTimeoutMs);
    // Requests of the closed session answer nothing.
    m_requests->deleteLater();
    m_requests = new QObject(this);
    m_session.clear();
    m_sent.clear();
    m_given.clear();
    m_refreshing = false;
    m_stage = Stage::Closed;
}

void PortalHotKeys::Request(const QDBusMessage& call, const QString& token, Answer answer)
{
    PortalRequest::Send(m_bus, call, token, m_requests,
                        [this, session = m_requests, answer = std::move(answer)](uint code, const QVariantMap& results) {
                            if (session == m_requests)
                                answer(code, results);
                        });
}

void PortalHotKeys::Take(const PortalShortcuts& given)
{
    m_given.clear();
    for (const PortalShortcut& shortcut : given)
        m_given.insert(shortcut.id, shortcut.properties.value(QStringLiteral("trigger_description")).toString());
}

void PortalHotKeys::Report()
{
    std::vector<Binding> bindings;
    QStringList told;
    for (const HotKey& key : m_sent) {
        bindings.push_back({key, m_given.value(key.name)});
        told << key.name << bindings.back().trigger;
    }
    if (told == m_reported)
        return;
    m_reported = told;
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
    if (m_given.value(id).isEmpty()) {
        // The press proves the desktop bound the key, whatever it said before; the key it is on is
        // learnt at the next listing.
        m_given.insert(id, TriggerOf(pressed.fsModifiers, pressed.vk));
        Report();
    }
    m_pressed(pressed);
}

void PortalHotKeys::ShortcutsChanged(const QDBusMessage& change)
{
    const QList<QVariant> arguments = change.arguments();
    if (arguments.size() < 2 || !OfOwnSession(arguments))
        return;
    Take(ShortcutsFrom(arguments.at(1)));
    if (m_stage == Stage::Open)
        Report();
}

PortalShortcuts PortalHotKeys::Wanted() const
{
    PortalShortcuts shortcuts;
    for (const HotKey& key : m_sent) {
        shortcuts.append({key.name,
                          {{QStringLiteral("description"), key.description.isEmpty() ? key.name : key.description},
                           {QStringLiteral("preferred_trigger"), TriggerOf(key.fsModifiers, key.vk)}}});
    }
    return shortcuts;
}

QString PortalHotKeys::ParentWindow() const
{
    const HWND parent = m_sent.empty() ? 0 : m_sent.front().hwnd;
    return m_x11Handles && parent != 0 ? QStringLiteral("x11:%1").arg(static_cast<quint32>(parent), 0, 16) : QString();
}

bool PortalHotKeys::OfOwnSession(const QList<QVariant>& arguments) const
{
    return !arguments.isEmpty() && !m_session.isEmpty() && PathFrom(arguments.at(0)) == m_session;
}

QString PortalHotKeys::NextHandleToken()
{
    return QStringLiteral("horchpult%1").arg(++m_handleTokens);
}

} // namespace platform
