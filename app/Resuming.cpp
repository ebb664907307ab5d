#include "frm1.h"

#include "Messages.h"

namespace app {

namespace {
// Nearer the start than this, going on there is no different from starting.
constexpr double NotWorthOffering = 5.0;
const QString LastStopped = QStringLiteral("Last time you stopped at %1.");
} // namespace

void frm1::OfferKeptPosition()
{
    const std::optional<double> kept = m_remembered.positionOf(m_recording);
    if (!kept || *kept <= NotWorthOffering)
        return;
    m_resumeNotice = LastStopped.arg(ClockText(*kept));
    ShowNotice(m_resumeNotice, {QStringLiteral("Go on there"), [this, seconds = *kept] { GoOnThere(seconds); }});
}

void frm1::GoOnThere(double seconds)
{
    WithdrawResumeOffer();
    if (geladen != True || !Trap(PlaybackFailed, [&] { wm1->pause(); }))
        return;
    Seek(JumpFailed, [seconds] { return seconds; });
}

void frm1::WithdrawResumeOffer()
{
    WithdrawNotice(m_resumeNotice);
    m_resumeNotice.clear();
}

void frm1::KeepPosition(bool whilePlaying)
{
    if (geladen != True || !m_positionMoved)
        return;
    double position = 0;
    try {
        position = wm1->currentPosition();
    } catch (...) {
        // A player that cannot tell its position has nothing to keep; the user meets its failure elsewhere.
        return;
    }
    m_remembered.keepPosition(m_recording, position);
    m_remembered.writePositions(whilePlaying);
}

} // namespace app
