#include "frm1.h"

namespace app {

void frm1::m_cHotKey_HotKeyPress(const QString& /*sName*/, std::int32_t /*eModifiers*/, std::int32_t /*eKey*/)
{
    m_cHotKey->RestoreAndActivate(m_hWnd);
}

} // namespace app
