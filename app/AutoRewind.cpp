#include "frm1.h"

#include "Layout.h"

#include "platform/Numbers.h"

#include <QCheckBox>
#include <QLineEdit>

namespace app {

void frm1::Check1_Click()
{
    if (Check1->checkState() == Qt::Checked)
        MakeEditable(*autorewind);
    else
        MakeDisplayBox(*autorewind);
}

void frm1::autorewind_Change()
{
    // The rewrite changes the text only when it was not yet a plain number; that change runs
    // this handler once more, nested, and then the text has settled.
    autorewind->setText(platform::WriteNumber(platform::ReadNumber(autorewind->text())));
}

} // namespace app
