#include "frm1.h"

#include "Messages.h"

#include "platform/Numbers.h"

#include <QLineEdit>

namespace app {

namespace {
constexpr double ShortStep = 2.0;
constexpr double LongStep = 10.0;
} // namespace

void frm1::ffw_Click()
{
    Seek(PlaybackFailed, [this] { return wm1->currentPosition() + ShortStep; });
}

void frm1::fffw_Click()
{
    Seek(PlaybackFailed, [this] { return wm1->currentPosition() + LongStep; });
}

void frm1::but_goto_Click()
{
    time_goto->setText(platform::WriteNumber(platform::ReadNumber(time_goto->text())));
    Seek(JumpFailed, [this] { return platform::ReadNumber(time_goto->text()); });
}

bool frm1::Seek(const QString& failureMessage, const std::function<double()>& target)
{
    m_positionMoved = true;
    return Trap(failureMessage, [&] {
        Timer1.setInterval(FollowPlayback);
        const bool playing = wm1->playState() == player::MediaPlayer::Playing;
        if (playing)
            wm1->pause();
        wm1->endRepeat();
        wm1->setCurrentPosition(target());
        if (playing)
            wm1->play();
        else
            Timer1.setInterval(TimerStopped);
    });
}

} // namespace app
