#include "frm1.h"

#include "platform/Error.h"
#include "platform/Messages.h"

namespace app {

namespace {
const QString F4HeldElsewhere =
    QStringLiteral("Another program holds F4, so F4 does not insert timestamps here; the player's menu still "
                   "does (\"Insert timestamp (F4)\").");
} // namespace

void frm1::Form_Load()
{
    geladen = False;
    m_cHotKey = std::make_unique<hotkeys::cRegHotKey>(m_desktop);
    m_cHotKey->HotKeyPress.connect([this](const QString& sName, std::int32_t eModifiers, std::int32_t eKey) {
        m_cHotKey_HotKeyPress(sName, eModifiers, eKey);
    });
    m_cHotKey->Attach(m_hWnd);
    m_cHotKey->RegisterKey(QStringLiteral("spielen"), 114, 0);
    m_cHotKey->RegisterKey(QStringLiteral("stop"), 113, 0);
    m_cHotKey->RegisterKey(QStringLiteral("zurueck"), 112, 0);
    // Unlike F1 to F3, F4 is no reason not to start: the player's menu inserts timestamps too.
    try {
        m_cHotKey->RegisterKey(QStringLiteral("zeitmarke"), 115, platform::MOD_NOREPEAT);
    } catch (const platform::Error&) {
        ShowNotice(F4HeldElsewhere);
    }
}

void frm1::ende_Click()
{
    close();
}

} // namespace app
