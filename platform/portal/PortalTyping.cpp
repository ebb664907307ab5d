#include "PortalTyping.h"

#include "PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

#include <xkbcommon/xkbcommon.h>

namespace platform {

namespace {

const QString RemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");
constexpr uint Keyboard = 1;
constexpr int CloseTimeoutMs = 1000;

QDBusMessage RemoteDesktopCall(const QString& method)
{
    return PortalCall(RemoteDesktop, method);
}

} // namespace

PortalTyping::PortalTyping(QDBusConnection bus) : m_bus(std::move(bus)) {}

PortalTyping::~PortalTyping()
{
    if (!m_session.isEmpty())
        ClosePortalSession(m_bus, m_session, QDBus::Block, CloseTimeoutMs);
}

void PortalTyping::Type(const QString& text, Done done)
{
    if (m_stage == Stage::Declined) {
        done(false);
        return;
    }
    m_waiting.emplace_back(text, std::move(done));
    if (m_stage == Stage::Closed)
        CreateSession();
    else if (m_stage == Stage::Started && !m_typing)
        SendNext();
}

void PortalTyping::CreateSession()
{
    m_stage = Stage::Asking;
    const QString token = NextToken();
    QDBusMessage call = RemoteDesktopCall(QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("session_handle_token"), token}};
    PortalRequest::Send(m_bus, call, token, this, [this](uint response, const QVariantMap& results) {
        m_session = response == PortalRequest::Success ? PathFrom(results.value(QStringLiteral("session_handle")))
                                                       : QString();
        if (m_session.isEmpty()) {
            Answered(false);
            return;
        }
        m_bus.connect(PortalService, m_session, SessionInterface, QStringLiteral("Closed"), this, SLOT(SessionClosed(QDBusMessage)));
        SelectDevices();
    });
}

void PortalTyping::SelectDevices()
{
    const QString token = NextToken();
    QDBusMessage call = RemoteDesktopCall(QStringLiteral("SelectDevices"));
    call << QVariant::fromValue(QDBusObjectPath(m_session))
         << QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("types"), Keyboard}};
    PortalRequest::Send(m_bus, call, token, this, [this](uint response, const QVariantMap&) {
        if (response != PortalRequest::Success)
            Answered(false);
        else
            Start();
    });
}

void PortalTyping::Start()
{
    const QString token = NextToken();
    QDBusMessage call = RemoteDesktopCall(QStringLiteral("Start"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    PortalRequest::Send(m_bus, call, token, this, [this](uint response, const QVariantMap& results) {
        Answered(response == PortalRequest::Success
                 && (results.value(QStringLiteral("devices")).toUInt() & Keyboard) != 0);
    });
}

void PortalTyping::Answered(bool started)
{
    if (started) {
        m_stage = Stage::Started;
        SendNext();
        return;
    }
    m_stage = Stage::Declined;
    if (!m_session.isEmpty()) {
        m_bus.disconnect(PortalService, m_session, SessionInterface, QStringLiteral("Closed"), this, SLOT(SessionClosed(QDBusMessage)));
        ClosePortalSession(m_bus, m_session, QDBus::NoBlock, CloseTimeoutMs);
        m_session.clear();
    }
    auto refused = std::exchange(m_waiting, {});
    for (auto& [text, done] : refused)
        done(false);
}

void PortalTyping::SendNext()
{
    if (m_sending || m_stage != Stage::Started)
        return;
    if (m_keys.empty()) {
        FinishText();
        if (m_waiting.empty())
            return;
        auto [text, done] = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_typing = std::move(done);
        for (const char32_t character : text.toUcs4()) {
            const auto keysym = static_cast<std::int32_t>(xkb_utf32_to_keysym(character));
            m_keys.push_back({keysym, true});
            m_keys.push_back({keysym, false});
        }
        if (m_keys.empty()) {
            FinishText();
            return;
        }
    }
    const Key key = m_keys.front();
    m_keys.pop_front();
    QDBusMessage call = RemoteDesktopCall(QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap{} << key.keysym << uint(key.pressed ? 1 : 0);
    // The next key only once the portal has taken this one: it may handle calls out of order.
    m_sending = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        m_sending = false;
        if (done->isError())
            m_keys.clear(); // the session is gone: the rest is dropped
        SendNext();
    });
}

void PortalTyping::FinishText()
{
    if (Done done = std::exchange(m_typing, {}))
        done(true);
}

void PortalTyping::SessionClosed(const QDBusMessage& closed)
{
    if (closed.path() != m_session)
        return;
    // The front-end may close a session the user declined before it answers the request.
    if (m_stage == Stage::Asking) {
        Answered(false);
        return;
    }
    m_bus.disconnect(PortalService, m_session, SessionInterface, QStringLiteral("Closed"), this,
                     SLOT(SessionClosed(QDBusMessage)));
    m_session.clear();
    m_keys.clear();
    m_stage = Stage::Closed;
    FinishText();
    if (!m_waiting.empty())
        CreateSession();
}

QString PortalTyping::NextToken()
{
    return QStringLiteral("horchpulttyping%1").arg(++m_tokens);
}

} // namespace platform
