#include "frm1.h"

#include <QLabel>
#include <QStatusBar>

namespace app {

void frm1::ShowNotice(const QString& text)
{
    if (m_notices.contains(text))
        return;
    m_notices.append(text);
    if (notice == nullptr) {
        // A line below the controls, made on the first notice only: without one the window keeps
        // its size, and the controls never move.
        notice = new QLabel(this);
        notice->setObjectName(QStringLiteral("notice"));
        notice->setAccessibleName(QStringLiteral("notice"));
        notice->setTextFormat(Qt::PlainText);
        notice->setWordWrap(true);
        notice->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        statusBar()->setSizeGripEnabled(false);
        statusBar()->addWidget(notice, 1);
    }
    notice->setText(m_notices.join(QLatin1Char('\n')));
    statusBar()->setVisible(true);
}

void frm1::WithdrawNotice(const QString& text)
{
    if (!m_notices.removeOne(text) || notice == nullptr)
        return;
    notice->setText(m_notices.join(QLatin1Char('\n')));
    statusBar()->setVisible(!m_notices.isEmpty());
}

} // namespace app
