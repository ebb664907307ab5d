#include "SoundChain.h"

#include "MpvProperties.h"

#include "platform/Error.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace player {

namespace {

// The filters, in the order they work on the sound: a channel first, then the rumble and the
// noise are taken out, and what is left is evened out, so that the gain follows the voices and
// not the hum or the hiss.
//
// The chosen channel on both ears; input channels by their number, so any layout of two or
// more channels works.
constexpr const char* LeftOnly = "lavfi-pan=args=[stereo|c0=c0|c1=c0]";
constexpr const char* RightOnly = "lavfi-pan=args=[stereo|c0=c1|c1=c1]";
// An 8th-order Butterworth high-pass at 90 Hz as four biquads: mains hum at 50 Hz some 40 dB
// down (60 Hz some 28 dB), flat from 120 Hz on, where voices are.
constexpr const char* CutHum = "lavfi-highpass=f=90:width_type=q:width=0.5098,"
                               "lavfi-highpass=f=90:width_type=q:width=0.6013,"
                               "lavfi-highpass=f=90:width_type=q:width=0.9000,"
                               "lavfi-highpass=f=90:width_type=q:width=2.5629";
// FFT denoiser following the noise floor down from -25 dBFS: loud hiss is lowered by up to
// 20 dB, a clean quiet voice loses less than 0.1 dB.
constexpr const char* ReduceNoise = "lavfi-afftdn=noise_reduction=20:noise_floor=-25:track_noise=1";
// Dynamic normalisation in 200 ms frames over a window of eleven: up to 20 dB louder, peaks
// kept at 0.9 (-0.9 dBFS), about a second of look-ahead so a loud passage is not clipped.
constexpr const char* EvenOut = "lavfi-dynaudnorm=framelen=200:gausssize=11:peak=0.9:maxgain=10";

const QString OneChannel = QStringLiteral("The recording has one channel: there is nothing to choose");
const QString Lacking = QStringLiteral("Not available: the installed FFmpeg lacks its filter %1");

// "lavfi-NAME=options,..." gives NAME.
QString filterName(const QByteArray& filters)
{
    const QByteArray first = filters.split(',').constFirst().split('=').constFirst();
    return QString::fromLatin1(first.mid(first.indexOf('-') + 1));
}

QAction* addChoice(QMenu& menu, const char* name, const QString& text)
{
    QAction* action = menu.addAction(text);
    action->setObjectName(QLatin1String(name));
    action->setCheckable(true);
    return action;
}

} // namespace

SoundChain::SoundChain(QMenu& menu) : QObject(&menu)
{
    QMenu* sound = menu.addMenu(QStringLiteral("Sound"));
    sound->setObjectName(QStringLiteral("playerSoundMenu"));
    sound->setAccessibleName(QStringLiteral("Sound"));
    sound->setToolTipsVisible(true);
    QAction* evenOut = addChoice(*sound, "soundEvenOutLoudness", QStringLiteral("Even out loudness"));
    QAction* cutHum = addChoice(*sound, "soundCutHum", QStringLiteral("Cut hum and rumble"));
    QAction* reduceNoise = addChoice(*sound, "soundReduceNoise", QStringLiteral("Reduce background noise"));
    // In the order they work on the sound.
    m_fixes = {{cutHum, CutHum}, {reduceNoise, ReduceNoise}, {evenOut, EvenOut}};

    m_channelsMenu = sound->addMenu(QStringLiteral("Channels"));
    m_channelsMenu->setObjectName(QStringLiteral("soundChannelsMenu"));
    m_channelsMenu->setAccessibleName(QStringLiteral("Channels"));
    m_channelsMenu->setToolTipsVisible(true);
    m_channelGroup = new QActionGroup(this);
    QAction* both = addChoice(*m_channelsMenu, "soundChannelsBoth", QStringLiteral("Both"));
    m_channels = {
        {addChoice(*m_channelsMenu, "soundChannelsLeft", QStringLiteral("Left only")), LeftOnly},
        {addChoice(*m_channelsMenu, "soundChannelsRight", QStringLiteral("Right only")), RightOnly},
    };
    for (QAction* action : {both, m_channels[0].action, m_channels[1].action})
        m_channelGroup->addAction(action);
    both->setChecked(true);
    m_lastChannel = both;

    for (const Fix& fix : m_fixes)
        connect(fix.action, &QAction::toggled, this, [this, action = fix.action] { apply(action); });
    connect(m_channelGroup, &QActionGroup::triggered, this, [this](QAction* action) { apply(action); });
}

void SoundChain::attach(Engine engine)
{
    m_engine = std::move(engine);
    for (std::vector<Fix>* fixes : {&m_fixes, &m_channels}) {
        for (const Fix& fix : *fixes) {
            try {
                m_engine(filtersWith({&fix}));
            } catch (const platform::Error&) {
                refuse(fix);
            }
        }
    }
    give(nullptr);
}

void SoundChain::setChannelCount(int channels)
{
    m_channelCount = channels;
    showChannels();
    apply(nullptr);
}

void SoundChain::setRate(double rate)
{
    m_rate = rate;
    apply(nullptr);
}

void SoundChain::showChannels()
{
    const bool one = m_channelCount == 1;
    m_channelsMenu->setEnabled(!one);
    m_channelsMenu->menuAction()->setToolTip(one ? OneChannel : QString());
    m_channelsMenu->menuAction()->setStatusTip(one ? OneChannel : QString());
}

std::vector<const SoundChain::Fix*> SoundChain::chosen() const
{
    std::vector<const Fix*> fixes;
    if (m_channelCount >= 2) {
        for (const Fix& channel : m_channels) {
            if (channel.action->isChecked())
                fixes.push_back(&channel);
        }
    }
    for (const Fix& fix : m_fixes) {
        if (fix.action->isChecked())
            fixes.push_back(&fix);
    }
    return fixes;
}

QByteArray SoundChain::filtersWith(const std::vector<const Fix*>& fixes) const
{
    QByteArrayList list;
    for (const Fix* fix : fixes)
        list += fix->filters;
    list += m_rate != 1.0 ? mpv::value::PitchKeepingSpeed : mpv::value::SteadyFormat;
    return list.join(',');
}

QByteArray SoundChain::filters() const
{
    return filtersWith(chosen());
}

void SoundChain::apply(QAction* changed)
{
    if (m_engine && filters() != m_applied)
        give(changed);
}

void SoundChain::give(QAction* changed)
{
    const QByteArray list = filters();
    try {
        m_engine(list);
        m_applied = list;
        if (changed != nullptr && m_channelGroup->actions().contains(changed))
            m_lastChannel = changed;
    } catch (const platform::Error&) {
        const Fix* fix = fixOf(changed);
        if (fix == nullptr)
            return;
        refuse(*fix);
        if (m_channelGroup->actions().contains(changed))
            m_lastChannel->setChecked(true);
        else
            changed->setChecked(false);
    }
}

const SoundChain::Fix* SoundChain::fixOf(const QAction* action) const
{
    for (const std::vector<Fix>* fixes : {&m_fixes, &m_channels}) {
        for (const Fix& fix : *fixes) {
            if (fix.action == action)
                return &fix;
        }
    }
    return nullptr;
}

void SoundChain::refuse(const Fix& fix)
{
    const QString tip = Lacking.arg(filterName(fix.filters));
    fix.action->setEnabled(false);
    fix.action->setToolTip(tip);
    fix.action->setStatusTip(tip);
}

} // namespace player
