#include "frm1.h"

namespace app {

namespace {
constexpr float Step = 100.0f;
}

void frm1::m_left_Click()
{
    if (wm1->Left() > Step)
        wm1->setLeft(wm1->Left() - Step);
}

void frm1::m_right_Click()
{
    wm1->setLeft(wm1->Left() + Step);
}

void frm1::m_plus_Click()
{
    wm1->setHeight(wm1->Height() + Step);
    wm1->setWidth(wm1->Width() + Step);
}

void frm1::m_minus_Click()
{
    if (wm1->Height() > Step && wm1->Width() > Step) {
        wm1->setHeight(wm1->Height() - Step);
        wm1->setWidth(wm1->Width() - Step);
    }
}

} // namespace app
