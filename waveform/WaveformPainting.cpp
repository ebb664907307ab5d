#include "WaveformView.h"

#include "Silence.h"
#include "TimeText.h"

#include <QPaintEvent>
#include <QPainter>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace waveform {

namespace {

constexpr int TickLength = 4;
constexpr int MinorTickLength = 2;
constexpr int LabelSpacing = 16;
constexpr int PeakScale = 127;
// How strongly silence is drawn, between the background (0) and sound (1).
constexpr double SilenceStrength = 0.3;
constexpr int RepeatShadeAlpha = 60;

// The ruler's labelled and plain ticks, in milliseconds, finest first.
struct Ticks {
    std::int64_t labelled;
    std::int64_t plain;
};
constexpr std::array RulerTicks{
    Ticks{1'000, 200},      Ticks{2'000, 500},       Ticks{5'000, 1'000},     Ticks{10'000, 2'000},
    Ticks{15'000, 5'000},   Ticks{30'000, 5'000},    Ticks{60'000, 10'000},   Ticks{120'000, 30'000},
    Ticks{300'000, 60'000}, Ticks{600'000, 60'000},  Ticks{1'800'000, 300'000}, Ticks{3'600'000, 600'000},
};

QColor mix(const QColor& a, const QColor& b, double shareOfA)
{
    return QColor::fromRgbF(float(a.redF() * shareOfA + b.redF() * (1 - shareOfA)),
                            float(a.greenF() * shareOfA + b.greenF() * (1 - shareOfA)),
                            float(a.blueF() * shareOfA + b.blueF() * (1 - shareOfA)));
}

// The extremes of one look's bins under a pixel column.
struct Range {
    int low = PeakScale;
    int high = -PeakScale;
    bool empty() const { return low > high; }
    void add(const Peak& peak)
    {
        low = std::min(low, int(peak.low));
        high = std::max(high, int(peak.high));
    }
};

// A column one pixel wide from the range's highest to its lowest peak, at least one pixel high.
QRect columnBar(const QRect& row, int x, const Range& range)
{
    const double middle = row.top() + row.height() / 2.0;
    const double scale = (row.height() - 1) / 2.0 / PeakScale;
    const int top = int(std::floor(middle - range.high * scale));
    const int bottom = std::max(top, int(std::floor(middle - range.low * scale)));
    return {x, top, 1, bottom - top + 1};
}

} // namespace

void WaveformView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    if (m_peaks && !m_peaks->hasSound) {
        paintNoSound(painter);
        return;
    }
    if (event->rect().intersects(overviewRect()))
        paintOverview(painter);
    if (event->rect().intersects(closeUpRect()))
        paintCloseUp(painter);
    if (hasFocus()) {
        painter.setPen(palette().color(QPalette::Highlight));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void WaveformView::paintNoSound(QPainter& painter)
{
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("This recording has no sound."));
}

void WaveformView::paintOverview(QPainter& painter)
{
    const QRect row = overviewRect();
    const qreal ratio = devicePixelRatioF();
    if (m_overviewStale || m_overview.size() != row.size() * ratio) {
        m_overview = QPixmap(row.size() * ratio);
        m_overview.setDevicePixelRatio(ratio);
        m_overviewBins = bins();
        m_overviewStale = false;
        drawOverviewColumns(0, row.width());
    }
    painter.drawPixmap(row.topLeft(), m_overview);
    if (!m_peaks || length() <= 0)
        return;
    painter.setPen(palette().color(QPalette::Highlight));
    const int x = int(std::floor(position() / length() * row.width()));
    painter.drawLine(x, row.top(), x, row.bottom());
}

void WaveformView::drawOverviewColumns(int from, int to)
{
    const QRect row(QPoint(0, 0), overviewRect().size());
    const QRect columns(from, row.top(), to - from, row.height());
    QPainter painter(&m_overview);
    painter.setClipRect(columns);
    painter.fillRect(columns, palette().color(QPalette::Base));
    if (!m_peaks || m_overviewBins == 0)
        return;
    const double secondsPerColumn = length() / std::max(1, row.width());
    shadeRepeat(painter, row, 0, secondsPerColumn);
    drawWave(painter, row, from, to, 0, secondsPerColumn * PeaksPerSecond);
}

void WaveformView::paintCloseUp(QPainter& painter)
{
    const QRect row = closeUpRect();
    if (!m_peaks || length() <= 0) {
        painter.fillRect(waveRect(), palette().color(QPalette::Base));
        return;
    }
    const CloseUp view = closeUp();
    const std::int64_t first = std::llround(view.start / view.secondsPerColumn);
    // Enough on either side that the pixmap serves for a view's width of playing or going back.
    if (m_closeUpStale || view.secondsPerColumn != m_closeUpPerColumn || m_closeUp.height() != row.height() * devicePixelRatioF()
        || first < m_closeUpFirst || first > m_closeUpFirst + 2 * row.width())
        drawCloseUp(first - row.width() / 2, view.secondsPerColumn);
    const qreal ratio = m_closeUp.devicePixelRatio();
    painter.drawPixmap(QRectF(row), m_closeUp,
                       QRectF((first - m_closeUpFirst) * ratio, 0, row.width() * ratio, row.height() * ratio));
    painter.setPen(palette().color(QPalette::Highlight));
    const int x = int(std::floor((position() - view.start) / view.secondsPerColumn));
    painter.drawLine(x, row.top(), x, waveRect().bottom());
}

void WaveformView::drawCloseUp(std::int64_t firstColumn, double secondsPerColumn)
{
    const qreal ratio = devicePixelRatioF();
    const QRect strip(0, 0, 3 * width(), closeUpRect().height());
    m_closeUp = QPixmap(strip.size() * ratio);
    m_closeUp.setDevicePixelRatio(ratio);
    m_closeUpFirst = firstColumn;
    m_closeUpPerColumn = secondsPerColumn;
    m_closeUpStale = false;

    QPainter painter(&m_closeUp);
    painter.setFont(font());
    const QRect wave(0, 0, strip.width(), waveRect().height());
    const QRect ruler(0, wave.bottom() + 1, strip.width(), strip.height() - wave.height());
    painter.fillRect(wave, palette().color(QPalette::Base));
    painter.fillRect(ruler, palette().color(QPalette::Window));
    const double start = double(firstColumn) * secondsPerColumn;
    shadeRepeat(painter, wave, start, secondsPerColumn);
    drawWave(painter, wave, 0, wave.width(), start * PeaksPerSecond, secondsPerColumn * PeaksPerSecond);
    drawRuler(painter, ruler, start, secondsPerColumn);
}

int WaveformView::rulerHeight() const
{
    return TickLength + fontMetrics().height();
}

void WaveformView::drawRuler(QPainter& painter, const QRect& row, double start, double secondsPerColumn) const
{
    const double end = start + row.width() * secondsPerColumn;
    const int labelWidth = fontMetrics().horizontalAdvance(RulerText(end)) + LabelSpacing;
    const double columnsPerMs = 1 / (secondsPerColumn * 1000);
    const auto fits = [&](const Ticks& ticks) { return ticks.labelled * columnsPerMs >= labelWidth; };
    const auto chosen = std::find_if(RulerTicks.begin(), RulerTicks.end(), fits);
    const Ticks ticks = chosen != RulerTicks.end() ? *chosen : RulerTicks.back();

    painter.setPen(palette().color(QPalette::WindowText));
    // Labels whose tick lies just outside still show in part.
    const double margin = labelWidth * secondsPerColumn;
    const auto lastMs = std::int64_t(std::floor(std::min(end + margin, length()) * 1000));
    const std::int64_t firstMs = std::max<std::int64_t>(0, std::int64_t(std::ceil((start - margin) * 1000 / double(ticks.plain))) * ticks.plain);
    for (std::int64_t ms = firstMs; ms <= lastMs; ms += ticks.plain) {
        const int x = int(std::floor((ms / 1000.0 - start) / secondsPerColumn));
        const bool labelled = ms % ticks.labelled == 0;
        painter.drawLine(x, row.top(), x, row.top() + (labelled ? TickLength : MinorTickLength) - 1);
        if (labelled) {
            const QRect label(x - labelWidth / 2, row.top() + TickLength, labelWidth, fontMetrics().height());
            painter.drawText(label, Qt::AlignHCenter | Qt::AlignTop, RulerText(ms / 1000.0));
        }
    }
}

void WaveformView::shadeRepeat(QPainter& painter, const QRect& row, double start, double secondsPerColumn) const
{
    if (!m_repeat)
        return;
    QColor shade = palette().color(QPalette::Highlight);
    shade.setAlpha(RepeatShadeAlpha);
    const double from = (m_repeat->first - start) / secondsPerColumn;
    const double to = (m_repeat->second - start) / secondsPerColumn;
    painter.fillRect(QRectF(from, row.top(), std::max(to - from, 1.0), row.height()), shade);
}

void WaveformView::drawWave(QPainter& painter, const QRect& row, int from, int to, double origin,
                            double binsPerColumn) const
{
    if (from >= to)
        return;
    const std::int64_t total = bins();
    const auto binAt = [&](int x) { return std::int64_t(std::floor(origin + x * binsPerColumn)); };
    // At least one bin a column, also when zoomed in so far that a bin is wider than a column.
    const auto columnBins = [&](int x) {
        const std::int64_t first = binAt(x);
        const std::int64_t end = std::max(binAt(x + 1), first + 1);
        return std::pair(std::clamp<std::int64_t>(first, 0, total), std::clamp<std::int64_t>(end, 0, total));
    };
    const std::int64_t first = columnBins(from).first;
    const std::vector<Look> looks = Looks(*m_peaks, first, columnBins(to - 1).second);

    QVarLengthArray<QRect, 1024> sound;
    QVarLengthArray<QRect, 1024> silence;
    QVarLengthArray<QRect, 64> unknown;
    for (int x = from; x < to; ++x) {
        const auto [columnFirst, columnEnd] = columnBins(x);
        if (columnFirst >= columnEnd)
            continue;
        Range loud;
        Range quiet;
        for (std::int64_t bin = columnFirst; bin < columnEnd; ++bin) {
            const Look look = looks[std::size_t(bin - first)];
            if (look == Look::Sound)
                loud.add(m_peaks->values[std::size_t(bin)]);
            else if (look == Look::Silence)
                quiet.add(m_peaks->values[std::size_t(bin)]);
        }
        if (!quiet.empty())
            silence.append(columnBar(row, x, quiet));
        if (!loud.empty())
            sound.append(columnBar(row, x, loud));
        if (loud.empty() && quiet.empty()) {
            if (!unknown.isEmpty() && unknown.back().right() == x - 1)
                unknown.back().setRight(x);
            else
                unknown.append(QRect(x, row.top(), 1, row.height()));
        }
    }

    const QColor background = palette().color(QPalette::Base);
    const QColor ink = palette().color(QPalette::Text);
    // Filled rectangles without a pen: the raster engine fills them directly, while it strokes
    // lines as outlines.
    painter.setPen(Qt::NoPen);
    painter.setBrush(mix(ink, background, SilenceStrength));
    painter.drawRects(silence.data(), int(silence.size()));
    painter.setBrush(ink);
    painter.drawRects(sound.data(), int(sound.size()));
    const QBrush hatch(palette().color(QPalette::Mid), Qt::BDiagPattern);
    for (const QRect& band : unknown)
        painter.fillRect(band, hatch);
}

} // namespace waveform
