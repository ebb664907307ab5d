#include "WaveformView.h"

#include "Silence.h"
#include "TimeText.h"
#include "WaveformAccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace waveform {

namespace {

constexpr double DefaultSpan = 20;
constexpr double ShortestSpan = 2;
constexpr double LongestSpan = 60;
constexpr double ZoomPerNotch = 1.25;
constexpr double WheelNotch = 120;
constexpr double KeyStep = 1;
constexpr int FrameIntervalMs = 40;
constexpr int RedrawIntervalMs = 100;
// The window reports the position every 200 ms; should a report come late, the view waits
// for it a little ahead rather than running on.
constexpr double LongestGuess = 0.25;

// Geometry, in device-independent pixels.
constexpr int OverviewHeight = 30;
constexpr int RowGap = 4;
constexpr int WaveHeight = 44;
constexpr int SmallestWidth = 120;

} // namespace

WaveformView::WaveformView(QWidget* parent)
    : QWidget(parent)
    , m_span(DefaultSpan)
{
    [[maybe_unused]] static const bool accessible = [] {
        QAccessible::installFactory(&AccessibleWaveform);
        return true;
    }();
    setAccessibleName(QStringLiteral("Waveform"));
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_frames.setInterval(FrameIntervalMs);
    connect(&m_frames, &QTimer::timeout, this, &WaveformView::followPosition);
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(RedrawIntervalMs);
    connect(&m_redraw, &QTimer::timeout, this, &WaveformView::redrawChangedBins);
    m_sinceReport.start();
}

void WaveformView::setPeaks(const Peaks* peaks)
{
    m_peaks = peaks;
    m_changedBins.clear();
    redrawAll();
    followPosition();
}

void WaveformView::peaksChanged(qint64 firstBin, qint64 endBin)
{
    if (firstBin >= endBin)
        return;
    // The readers fill ranges far apart: one span over them all would redraw what lies between.
    const auto touching = std::find_if(m_changedBins.begin(), m_changedBins.end(), [&](const auto& span) {
        return firstBin <= span.second && span.first <= endBin;
    });
    if (touching == m_changedBins.end())
        m_changedBins.emplace_back(firstBin, endBin);
    else
        *touching = {std::min<std::int64_t>(touching->first, firstBin), std::max<std::int64_t>(touching->second, endBin)};
    if (!m_redraw.isActive())
        m_redraw.start();
}

void WaveformView::setLength(double seconds)
{
    const double length = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    if (length == m_length)
        return;
    m_length = length;
    redrawAll();
    followPosition();
}

void WaveformView::setPosition(double seconds)
{
    m_reported = std::isfinite(seconds) ? seconds : 0.0;
    m_sinceReport.restart();
    followPosition();
}

void WaveformView::setPlaying(bool playing, double rate)
{
    m_reported = position();
    m_sinceReport.restart();
    m_playing = playing;
    m_rate = rate;
    syncFrames();
}

void WaveformView::setRepeat(std::optional<std::pair<double, double>> passage)
{
    if (passage == m_repeat)
        return;
    m_repeat = passage;
    redrawAll();
}

double WaveformView::position() const
{
    double shown = m_reported;
    if (m_playing)
        shown += std::min(m_sinceReport.nsecsElapsed() / 1e9, LongestGuess) * m_rate;
    return std::clamp(shown, 0.0, length());
}

double WaveformView::length() const
{
    const double known = m_peaks ? double(m_peaks->values.size()) / PeaksPerSecond : 0.0;
    return std::max(m_length, known);
}

QSize WaveformView::sizeHint() const
{
    // As wide as the window it is put in, which must not grow for it.
    return {SmallestWidth, closeUpRect().bottom() + 1};
}

QSize WaveformView::minimumSizeHint() const
{
    return sizeHint();
}

void WaveformView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_overviewStale = true;
    m_closeUpStale = true;
}

void WaveformView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange
        || event->type() == QEvent::FontChange)
        redrawAll();
}

void WaveformView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    syncFrames();
}

void WaveformView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    syncFrames();
}

void WaveformView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void WaveformView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void WaveformView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragRow = rowAt(event->position());
    if (m_dragRow == Row::CloseUp)
        m_dragCenter = position();
    if (m_dragRow != Row::None)
        requestSeek(timeAt(m_dragRow, event->position().x()));
}

void WaveformView::mouseMoveEvent(QMouseEvent* event)
{
    const Row row = m_dragRow != Row::None ? m_dragRow : rowAt(event->position());
    if (row == Row::None) {
        QToolTip::hideText();
        return;
    }
    const double seconds = timeAt(row, event->position().x());
    QToolTip::showText(event->globalPosition().toPoint(), ClockText(seconds, true), this);
    if (m_dragRow != Row::None)
        requestSeek(seconds);
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragRow = Row::None;
    m_dragCenter.reset();
    followPosition();
}

void WaveformView::wheelEvent(QWheelEvent* event)
{
    if (rowAt(event->position()) != Row::CloseUp) {
        event->ignore();
        return;
    }
    const double notches = event->angleDelta().y() / WheelNotch;
    m_span = std::clamp(m_span * std::pow(ZoomPerNotch, -notches), ShortestSpan, LongestSpan);
    update(closeUpRect());
}

void WaveformView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        requestSeek(position() - KeyStep);
        break;
    case Qt::Key_Right:
        requestSeek(position() + KeyStep);
        break;
    case Qt::Key_Home:
        requestSeek(0);
        break;
    case Qt::Key_End:
        requestSeek(length());
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

QRect WaveformView::overviewRect() const
{
    return {0, 0, width(), OverviewHeight};
}

QRect WaveformView::closeUpRect() const
{
    return {0, OverviewHeight + RowGap, width(), WaveHeight + rulerHeight()};
}

QRect WaveformView::waveRect() const
{
    return {0, OverviewHeight + RowGap, width(), WaveHeight};
}

WaveformView::Row WaveformView::rowAt(QPointF point) const
{
    if (!m_peaks || !m_peaks->hasSound || length() <= 0)
        return Row::None;
    if (overviewRect().contains(point.toPoint()))
        return Row::Overview;
    if (closeUpRect().contains(point.toPoint()))
        return Row::CloseUp;
    return Row::None;
}

double WaveformView::timeAt(Row row, double x) const
{
    const double seconds = row == Row::Overview ? x * length() / std::max(1, width())
                                                : closeUp().start + x * closeUp().secondsPerColumn;
    return std::clamp(seconds, 0.0, length());
}

WaveformView::CloseUp WaveformView::closeUp() const
{
    const double perColumn = m_span / std::max(1, width());
    const double center = m_dragCenter.value_or(position());
    return {std::floor((center - m_span / 2) / perColumn) * perColumn, perColumn};
}

std::int64_t WaveformView::bins() const
{
    return std::int64_t(std::ceil(length() * PeaksPerSecond));
}

void WaveformView::requestSeek(double seconds)
{
    if (m_peaks && length() > 0)
        emit seekRequested(std::clamp(seconds, 0.0, length()));
}

void WaveformView::followPosition()
{
    const double shown = position();
    const double overviewX = length() > 0 ? shown / length() * width() : -1;
    const int line = int(std::floor(overviewX));
    if (line != m_overviewLine) {
        const QRect overview = overviewRect();
        update(QRect(m_overviewLine - 1, overview.top(), 3, overview.height()));
        update(QRect(line - 1, overview.top(), 3, overview.height()));
        m_overviewLine = line;
    }
    const CloseUp view = closeUp();
    const std::pair closeUpShown(std::int64_t(std::llround(view.start / view.secondsPerColumn)),
                                 int(std::floor((shown - view.start) / view.secondsPerColumn)));
    if (closeUpShown != m_closeUpShown) {
        update(closeUpRect());
        m_closeUpShown = closeUpShown;
    }
    const auto second = std::int64_t(std::floor(shown));
    if (second != m_announcedSecond) {
        m_announcedSecond = second;
        QAccessibleValueChangeEvent changed(this, shown);
        QAccessible::updateAccessibility(&changed);
    }
}

void WaveformView::syncFrames()
{
    if (m_playing && isVisible())
        m_frames.start();
    else
        m_frames.stop();
}

void WaveformView::redrawAll()
{
    m_overviewStale = true;
    m_closeUpStale = true;
    update();
}

void WaveformView::redrawChangedBins()
{
    if (m_changedBins.empty() || !m_peaks)
        return;
    const auto changed = std::exchange(m_changedBins, {});
    if (m_overviewStale || m_overviewBins != bins()) {
        redrawAll();
        return;
    }
    const double closeUpBinsPerColumn = m_closeUpPerColumn * PeaksPerSecond;
    const double closeUpFirst = m_closeUpFirst * closeUpBinsPerColumn - LookReach;
    const double binsPerColumn = double(m_overviewBins) / std::max(1, width());
    for (const auto& [first, end] : changed) {
        if (end > closeUpFirst && first < closeUpFirst + m_closeUp.deviceIndependentSize().width() * closeUpBinsPerColumn + 2 * LookReach)
            m_closeUpStale = true;
        const int from = std::max(0, int(std::floor((first - LookReach) / binsPerColumn)));
        const int to = std::min(width(), int(std::ceil((end + LookReach) / binsPerColumn)) + 1);
        if (from < to)
            drawOverviewColumns(from, to);
    }
    update();
}

} // namespace waveform
