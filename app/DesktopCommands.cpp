#include "frm1.h"

#include "Messages.h"
#include "Speed.h"

#include <algorithm>

namespace app {

void frm1::PlayCommand()
{
    if (geladen == True)
        PlayMedia();
}

void frm1::PauseCommand()
{
    if (geladen == True)
        PauseMedia();
}

void frm1::BackCommand()
{
    if (geladen == True)
        RewindMedia();
}

void frm1::ForwardCommand()
{
    if (geladen == True)
        ffw_Click();
}

void frm1::SeekByCommand(double seconds)
{
    if (geladen == True)
        Seek(PlaybackFailed, [this, seconds] { return std::max(0.0, wm1->currentPosition() + seconds); });
}

void frm1::SeekToCommand(double seconds)
{
    if (geladen == True)
        Seek(JumpFailed, [seconds] { return std::max(0.0, seconds); });
}

double frm1::PlaybackRate() const
{
    return RateOfStep(SpeedStep());
}

} // namespace app
