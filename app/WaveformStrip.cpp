#include "frm1.h"

#include "waveform/Waveform.h"
#include "waveform/WaveformView.h"

#include <QAction>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>

namespace app {

namespace {

// The strip moves on by itself between two readings of the position.
constexpr int FollowWaveformMs = 200;

} // namespace

QString frm1::WaveformCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/horchpult/waveforms");
}

void frm1::AddWaveformEntry(QMenu& menu)
{
    wellenform = menu.addAction(QStringLiteral("Waveform"));
    wellenform->setObjectName(QStringLiteral("wellenform"));
    wellenform->setCheckable(true);
    wellenform->setToolTip(QStringLiteral("show the recording's waveform below the controls"));
    connect(wellenform, &QAction::triggered, this, m_lastResort.Guard([this] { wellenform_Click(); }));
    if (m_remembered.read().waveformShown) {
        wellenform->setChecked(true);
        ShowWaveform(true);
    }
}

void frm1::wellenform_Click()
{
    ShowWaveform(wellenform->isChecked());
    KeepChoices();
}

void frm1::ShowWaveform(bool shown)
{
    if (shown && m_waveformBar == nullptr)
        BuildWaveform();
    if (m_waveformBar == nullptr)
        return;
    m_waveformBar->setVisible(shown);
    if (shown) {
        OpenWaveform();
        m_waveformTimer->start(FollowWaveformMs);
    } else {
        m_waveformTimer->stop();
        m_waveform->close();
        m_waveformView->setPlaying(false, 1);
    }
    // The controls keep their place: the window grows or shrinks below them.
    adjustSize();
}

void frm1::BuildWaveform()
{
    m_waveform = std::make_unique<waveform::Waveform>();
    m_waveform->setCacheFolder(m_remembered.on() ? WaveformCacheFolder() : QString());
    m_waveformView = new waveform::WaveformView;
    m_waveformView->setObjectName(QStringLiteral("waveform"));
    m_waveformView->setPeaks(&m_waveform->peaks());
    connect(m_waveform.get(), &waveform::Waveform::reset, this,
            m_lastResort.Guard([this] { m_waveformView->setPeaks(&m_waveform->peaks()); }));
    connect(m_waveform.get(), &waveform::Waveform::changed, this, [this](qint64 first, qint64 end) {
        m_lastResort.Run([&] { m_waveformView->peaksChanged(first, end); });
    });
    connect(m_waveformView, &waveform::WaveformView::seekRequested, this,
            [this](double seconds) { m_lastResort.Run([&] { SeekToCommand(seconds); }); });

    m_waveformBar = new QToolBar(this);
    m_waveformBar->setObjectName(QStringLiteral("waveformBar"));
    m_waveformBar->setMovable(false);
    m_waveformBar->setFloatable(false);
    m_waveformBar->toggleViewAction()->setVisible(false);
    m_waveformBar->addWidget(m_waveformView);
    addToolBar(Qt::BottomToolBarArea, m_waveformBar);

    m_waveformTimer = new QTimer(this);
    connect(m_waveformTimer, &QTimer::timeout, this, m_lastResort.Guard([this] { FollowWaveform(); }));
}

void frm1::OpenWaveform()
{
    if (m_waveformBar == nullptr || !m_waveformBar->isVisible())
        return;
    if (geladen == True)
        m_waveform->open(media);
    else
        m_waveform->close();
    FollowWaveform();
}

void frm1::FollowWaveform()
{
    if (geladen != True) {
        m_waveformView->setLength(0);
        m_waveformView->setPlaying(false, 1);
        return;
    }
    m_waveformView->setLength(wm1->duration());
    m_waveformView->setPosition(wm1->currentPosition());
    m_waveformView->setPlaying(wm1->playState() == player::MediaPlayer::Playing, wm1->rate());
    const std::optional<player::MediaPlayer::Passage> passage = wm1->repeat();
    m_waveformView->setRepeat(passage ? std::optional(std::pair(passage->from, passage->to)) : std::nullopt);
}

void frm1::PlaceWaveformCache()
{
    if (m_waveform)
        m_waveform->setCacheFolder(m_remembered.on() ? WaveformCacheFolder() : QString());
    if (!m_remembered.on())
        waveform::PeakCache(WaveformCacheFolder()).remove();
}

} // namespace app
