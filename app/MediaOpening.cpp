#include "frm1.h"

#include "Messages.h"
#include "Speed.h"

#include "platform/Numbers.h"

#include <QFileInfo>
#include <QLineEdit>

#include <cmath>

namespace app {

namespace {
constexpr int DisplayLimit = 40;
const QString Ellipsis = QStringLiteral("...");
} // namespace

void frm1::neu_Click()
{
    Trap(OpenFailed, [&] {
        CmD1.Flags = platform::OFN_FILEMUSTEXIST;
        CmD1.ShowOpen();
        OpenChosenFile(CmD1.FileName);
    });
}

void frm1::OpenGivenFile(const QString& path)
{
    Trap(OpenFailed, [&] {
        // The dialog lets only an existing file be chosen and yields its full path.
        const QFileInfo file(path);
        OpenChosenFile(file.isFile() ? file.absoluteFilePath() : QString());
    });
}

void frm1::OpenChosenFile(const QString& chosen)
{
    if (chosen.isEmpty()) {
        m_desktop.MessageBox(this, OpenFailed);
        return;
    }
    media = chosen;
    Fileinfo->setText(media.size() <= DisplayLimit ? media : Ellipsis + media.right(DisplayLimit));
    LoadMedia();
}

void frm1::LoadMedia()
{
    KeepPosition(false);
    WithdrawResumeOffer();
    m_positionMoved = false;
    const bool loaded = Trap(MediaRefused, [&] {
        geladen = False;
        wm1->setAutoStart(false);
        wm1->setURL(media);
        geladen = True;
    });
    if (!loaded)
        media.clear();
    OpenWaveform();
    if (!loaded)
        return;
    m_recording = waveform::RecordingKeyOf(media);
    OfferKeptPosition();
}

void frm1::Timer1_Timer()
{
    const double position = wm1->currentPosition();
    time->setText(platform::WriteNumber(std::floor(position)));
    KeepPosition(true);
}

void frm1::wm1_PlayStateChange(std::int32_t NewState)
{
    wm1->setRate(RateOfStep(SpeedStep()));
    if (NewState == player::MediaPlayer::Playing) {
        m_positionMoved = true;
        WithdrawResumeOffer();
    } else if (NewState == player::MediaPlayer::Paused || NewState == player::MediaPlayer::Stopped) {
        KeepPosition(false);
    }
}

} // namespace app
