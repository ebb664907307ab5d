#include "frm1.h"

namespace app {

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
}

void frm1::ende_Click()
{
    close();
}

} // namespace app
