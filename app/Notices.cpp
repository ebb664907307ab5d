#include "frm1.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

namespace app {

void frm1::ShowNotice(const QString& text, const NoticeAction& action)
{
    const bool known = m_notices.contains(text);
    if (known && m_noticeActions.value(text).caption == action.caption)
        return;
    if (!known)
        m_notices.append(text);
    m_noticeActions.insert(text, action);
    if (notice == nullptr) {
        // A line below the controls, made on the first notice only: without one the window keeps
        // its size, and the controls never move. Its text is its accessible name, so that a
        // screen reader reads the words.
        notice = new QLabel(this);
        notice->setObjectName(QStringLiteral("notice"));
        notice->setTextFormat(Qt::PlainText);
        notice->setWordWrap(true);
        notice->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        noticeAction = new QPushButton(this);
        noticeAction->setObjectName(QStringLiteral("noticeAction"));
        noticeAction->setAutoDefault(false);
        connect(noticeAction, &QPushButton::clicked, this, m_lastResort.Guard([this] { noticeAction_Click(); }));
        statusBar()->setSizeGripEnabled(false);
        statusBar()->addWidget(notice, 1);
        statusBar()->addPermanentWidget(noticeAction);
    }
    ShowNotices();
}

void frm1::WithdrawNotice(const QString& text)
{
    if (!m_notices.removeOne(text) || notice == nullptr)
        return;
    m_noticeActions.remove(text);
    ShowNotices();
}

void frm1::ShowNotices()
{
    notice->setText(m_notices.join(QLatin1Char('\n')));
    const NoticeAction shown = OfferedAction();
    noticeAction->setText(shown.caption);
    noticeAction->setVisible(!shown.caption.isEmpty());
    statusBar()->setVisible(!m_notices.isEmpty());
}

frm1::NoticeAction frm1::OfferedAction() const
{
    // The newest notice that offers something.
    for (auto text = m_notices.crbegin(); text != m_notices.crend(); ++text) {
        NoticeAction action = m_noticeActions.value(*text);
        if (!action.caption.isEmpty())
            return action;
    }
    return {};
}

void frm1::noticeAction_Click()
{
    const NoticeAction offered = OfferedAction();
    if (offered.run)
        offered.run();
}

} // namespace app
