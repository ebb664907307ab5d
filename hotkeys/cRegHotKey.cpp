#include "cRegHotKey.h"

#include "platform/Error.h"

#include <array>

namespace hotkeys {

using platform::HWND;

cRegHotKey::cRegHotKey(platform::Services& services) : m_services(services) {}

cRegHotKey::~cRegHotKey()
{
    // A destructor cannot raise; a failing unhook here has no caller left to tell.
    try {
        Class_Terminate();
    } catch (...) {
    }
}

void cRegHotKey::Class_Terminate()
{
    Clear();
}

void cRegHotKey::Attach(HWND hwndA)
{
    Clear();
    if (hwndA == 0)
        return;
    m_hWnd = hwndA;
    m_services.HookMessage(*this, m_hWnd, platform::WM_HOTKEY);
    m_services.HookMessage(*this, m_hWnd, platform::WM_DESTROY);
}

void cRegHotKey::Clear()
{
    while (m_iKeyCount > 0)
        UnregisterKey(m_tKeys[static_cast<std::size_t>(m_iKeyCount - 1)].sName);
    if (m_hWnd != 0) {
        m_services.UnhookMessage(*this, m_hWnd, platform::WM_HOTKEY);
        m_services.UnhookMessage(*this, m_hWnd, platform::WM_DESTROY);
        m_hWnd = 0;
    }
}

void cRegHotKey::RegisterKey(const QString& sName, std::int32_t eKey, std::int32_t eModifiers)
{
    const QString name = sName;
    if (name.size() > MaxNameLength)
        Raise(ErrRegister, QStringLiteral("Key Name too long (max 32 characters)."));

    const std::int32_t count = m_iKeyCount;
    for (std::int32_t i = 0; i < count; ++i) {
        if (m_tKeys[static_cast<std::size_t>(i)].sName == name)
            Raise(ErrDuplicate, QStringLiteral("The Key Name '%1' is already registered.").arg(name));
    }

    // The tick count is written as a signed 32-bit number: negative after 24.8 days of uptime.
    const auto tick = static_cast<std::int32_t>(m_services.GetTickCount());
    const QString atomName = (name + u'_' + m_services.ExecutableBaseName() + u'_'
                              + QString::number(tick))
                                 .left(MaxAtomNameLength);

    const auto id = static_cast<std::int32_t>(
        static_cast<std::int16_t>(m_services.GlobalAddAtomA(atomName.toLocal8Bit())));
    if (id == 0) {
        const std::uint32_t error = m_services.GetLastError();
        const QString text = SystemErrorText(error);
        Raise(ErrAddAtom, QStringLiteral("Failed to add GlobalAtom")
                              + (text.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(text)));
    }

    if (!m_services.RegisterHotKey(m_hWnd, id, static_cast<std::uint32_t>(eModifiers),
                                   static_cast<std::uint32_t>(eKey))) {
        const std::uint32_t error = m_services.GetLastError();
        m_services.GlobalDeleteAtom(static_cast<platform::ATOM>(id));
        const QString text = SystemErrorText(error);
        Raise(ErrRegister, QStringLiteral("Failed to Register Hot Key")
                               + (text.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(text)));
    }

    m_tKeys.push_back(tHotKeyEntry{name, atomName, id, eKey, eModifiers});
    ++m_iKeyCount;
}

void cRegHotKey::UnregisterKey(const QString& sName)
{
    // A copy: Clear passes the name stored in the very entry this call removes.
    const QString name = sName;
    const std::int32_t idx = FindKeyIndex(name);
    const std::int32_t id = m_tKeys[static_cast<std::size_t>(idx)].lId;
    m_services.UnregisterHotKey(m_hWnd, id);
    m_services.GlobalDeleteAtom(static_cast<platform::ATOM>(id));

    if (m_iKeyCount > 1) {
        m_tKeys.erase(m_tKeys.begin() + idx);
        --m_iKeyCount;
        m_tKeys.shrink_to_fit();
    } else {
        m_iKeyCount = 0;
        std::vector<tHotKeyEntry>().swap(m_tKeys);
    }
}

void cRegHotKey::RestoreAndActivate(HWND hwnd)
{
    if (m_services.IsIconic(hwnd))
        m_services.SendMessageA(hwnd, platform::WM_SYSCOMMAND, platform::SC_RESTORE, 0);
}

std::int32_t cRegHotKey::MsgResponse() const
{
    return CallOriginalAfter;
}

void cRegHotKey::MsgResponse(std::int32_t /*RHS*/) {}

std::int32_t cRegHotKey::WindowProc(HWND /*hwnd*/, std::int32_t iMsg, std::int32_t wParam,
                                    std::int32_t lParam)
{
    if (iMsg == platform::WM_DESTROY) {
        Clear();
    } else if (iMsg == platform::WM_HOTKEY) {
        if (wParam == platform::IDHOT_SNAPDESKTOP) {
            HotKeyPress.raise(QStringLiteral("Desktop Snapshot"), 0, platform::VK_SNAPSHOT);
        } else if (wParam == platform::IDHOT_SNAPWINDOW) {
            HotKeyPress.raise(QStringLiteral("Window Snapshot"),
                              static_cast<std::int32_t>(platform::MOD_SHIFT), platform::VK_SNAPSHOT);
        } else {
            const tHotKeyEntry* found = nullptr;
            for (const tHotKeyEntry& entry : m_tKeys) {
                if (entry.lId == wParam) {
                    found = &entry;
                    break;
                }
            }
            if (found != nullptr) {
                // Copies: a handler may unregister the key while the event is raised.
                const tHotKeyEntry entry = *found;
                HotKeyPress.raise(entry.sName, entry.eModifiers, entry.eKey);
            } else {
                HotKeyPress.raise(QStringLiteral("Unknown HotKey"), lParam & 0xFFFF, lParam / 65536);
            }
        }
    }
    return 0;
}

std::int32_t cRegHotKey::FindKeyIndex(const QString& sName) const
{
    const std::int32_t count = m_iKeyCount;
    for (std::int32_t i = 0; i < count; ++i) {
        if (m_tKeys[static_cast<std::size_t>(i)].sName == sName)
            return i;
    }
    Raise(ErrNoSuchKey, QStringLiteral("No hot key registered under the name '%1'").arg(sName));
}

QString cRegHotKey::SystemErrorText(std::uint32_t code) const
{
    std::array<char, 256> buffer{};
    const std::uint32_t n = m_services.FormatMessageA(
        platform::FORMAT_MESSAGE_FROM_SYSTEM | platform::FORMAT_MESSAGE_IGNORE_INSERTS, code, 0,
        buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    if (n == 0)
        return {};
    return QString::fromLocal8Bit(buffer.data(), static_cast<qsizetype>(n));
}

void cRegHotKey::Raise(std::int32_t n, const QString& description) const
{
    throw platform::Error(platform::ObjectErrorNumber(n),
                          m_services.ExecutableBaseName() + QStringLiteral(".cRegHotKey"),
                          description);
}

} // namespace hotkeys
