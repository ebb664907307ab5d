#include "frm1.h"

#include "Messages.h"
#include "Speed.h"

#include "platform/VirtualKeys.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace app {

void frm1::AddRepeatEntries(QMenu& menu)
{
    menu.addSeparator();
    wiederholen = menu.addAction(QString());
    wiederholen->setObjectName(QStringLiteral("wiederholen"));
    wiederholen->setCheckable(true);
    connect(wiederholen, &QAction::triggered, this, m_lastResort.Guard([this] { wiederholen_Click(); }));

    QMenu* lengths = menu.addMenu(QStringLiteral("Repeat length"));
    lengths->setObjectName(QStringLiteral("repeatLength"));
    lengths->setToolTipsVisible(true);
    auto* group = new QActionGroup(lengths);
    group->setExclusive(true);
    for (const int seconds : RepeatLengths) {
        QAction* choice = lengths->addAction(QStringLiteral("%1 s").arg(seconds));
        choice->setObjectName(QStringLiteral("repeat_%1").arg(seconds));
        choice->setToolTip(QStringLiteral("repeat the last %1 seconds heard").arg(seconds));
        choice->setCheckable(true);
        choice->setChecked(seconds == m_repeatSeconds);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, m_lastResort.Guard([this, seconds] {
            m_repeatSeconds = seconds;
            ShowRepeat();
            KeepChoices();
        }));
    }
    ShowRepeat();
}

void frm1::RepeatMedia()
{
    Trap(PlaybackFailed, [&] {
        const std::optional<player::MediaPlayer::Passage> passage = wm1->repeat();
        if (!passage) {
            wm1->setRate(RateOfStep(SpeedStep()));
            wm1->repeatLast(m_repeatSeconds);
        } else {
            wm1->endRepeat();
            // Before the passage was heard whole the key only ends the repeat: playback then
            // reaches the passage's end by itself.
            if (passage->heardWhole) {
                wm1->setCurrentPosition(passage->to);
                wm1->play();
            }
        }
        Timer1.setInterval(wm1->playState() == player::MediaPlayer::Playing ? FollowPlayback : TimerStopped);
    });
}

void frm1::wiederholen_Click()
{
    if (geladen == True)
        RepeatMedia();
    // A check entry checks itself when chosen; it shows the repeat's state, whatever came of it.
    ShowRepeat();
}

void frm1::ShowRepeat()
{
    const HotKeyRow* key = FindHotKey([](const HotKeyRow& row) { return row.command == &frm1::RepeatMedia; });
    const QString keyText = platform::KeyText(key->modifiers, key->vk);
    wiederholen->setText(QStringLiteral("Repeat the last %1 s (%2)").arg(m_repeatSeconds).arg(keyText));
    const std::optional<player::MediaPlayer::Passage> passage = wm1->repeat();
    wiederholen->setChecked(passage.has_value());
    WithdrawNotice(m_repeatNotice);
    m_repeatNotice.clear();
    if (!passage)
        return;
    m_repeatNotice = QStringLiteral("Repeating %1\u2013%2. %3 plays on.")
                         .arg(ClockText(passage->from), ClockText(passage->to), keyText);
    ShowNotice(m_repeatNotice);
}

double frm1::EarliestPosition() const
{
    const std::optional<player::MediaPlayer::Passage> passage = wm1->repeat();
    return passage ? passage->from : 0.0;
}

} // namespace app
