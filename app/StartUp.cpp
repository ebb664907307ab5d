#include "frm1.h"

#include "platform/Error.h"

namespace app {

void frm1::Form_Load()
{
    geladen = False;
    m_cHotKey = std::make_unique<hotkeys::cRegHotKey>(m_desktop);
    m_cHotKey->HotKeyPress.connect([this](const QString& sName, std::int32_t eModifiers, std::int32_t eKey) {
        m_cHotKey_HotKeyPress(sName, eModifiers, eKey);
    });
    m_cHotKey->Attach(m_hWnd);
    RegisterHotKeys();
}

void frm1::RegisterHotKeys()
{
    for (const HotKeyRow& key : HotKeyTable()) {
        const auto registerKey = [&] {
            m_cHotKey->RegisterKey(QString::fromLatin1(key.name), static_cast<std::int32_t>(key.vk),
                                   static_cast<std::int32_t>(key.modifiers | key.flags));
        };
        if (key.heldElsewhere == nullptr) {
            registerKey();
            continue;
        }
        try {
            registerKey();
        } catch (const platform::Error&) {
            ShowNotice(QString::fromUtf8(key.heldElsewhere));
        }
    }
}

void frm1::ende_Click()
{
    close();
}

} // namespace app
