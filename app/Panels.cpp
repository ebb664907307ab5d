#include "frm1.h"

#include <QGroupBox>

namespace app {

void frm1::tutor_Click()
{
    Frame2->setVisible(true);
}

void frm1::Command2_Click()
{
    Frame2->setVisible(false);
}

void frm1::about_Click()
{
    Frame1->setVisible(true);
}

void frm1::Command1_Click()
{
    Frame1->setVisible(false);
}

} // namespace app
