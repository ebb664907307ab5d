#pragma once

#include "Peaks.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace waveform {

// A strip of two rows below the player's controls. Above, the whole recording, with a line at
// the playback position and the passage a repeat plays shaded; below, a close-up of the seconds
// around the position with a time ruler, which scrolls along while playing. Quiet stretches are
// drawn fainter than sound, stretches not known hatched; a recording without sound gets a line
// of text instead.
//
// A press or a drag in either row asks to go to the time under the pointer (seekRequested); so
// do the arrow keys (a second back or on), Home and End while the view has the focus, which it
// takes only when clicked. The wheel over the close-up zooms it. To screen readers it is a
// slider whose value is the position in seconds.
//
// GUI thread only. The peaks belong to the caller, who keeps them alive while they are shown
// and tells which bins changed. Following playback costs little: the overview and a close-up
// three times as wide as the view are drawn into pixmaps, so that 25 times a second only a
// piece of the close-up's pixmap and two lines are painted; while not playing no timer runs.
class WaveformView final : public QWidget {
    Q_OBJECT
public:
    explicit WaveformView(QWidget* parent = nullptr);

    // None: nothing is open, and the strip stays empty.
    void setPeaks(const Peaks* peaks);
    // Bins [firstBin, endBin) changed or came new; shown within a tenth of a second.
    void peaksChanged(qint64 firstBin, qint64 endBin);
    // The length as the player knows it; what the peaks do not reach is unknown.
    void setLength(double seconds);
    // The position as the player reports it.
    void setPosition(double seconds);
    // While playing, the view moves on by itself from the last position reported, at the rate.
    void setPlaying(bool playing, double rate);
    // The passage a repeat plays, in seconds; none while no repeat runs.
    void setRepeat(std::optional<std::pair<double, double>> passage);

    // Where the view shows playback now, between reports too.
    double position() const;
    // Of the recording or of the peaks, whichever is longer.
    double length() const;
    // The seconds the close-up shows.
    double closeUpSpan() const { return m_span; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void seekRequested(double seconds);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class WaveformAccessible;

    enum class Row { None, Overview, CloseUp };
    // The close-up's seconds at its left edge and per pixel column. The left edge keeps to a
    // grid of whole columns, so that while it scrolls each column keeps its bins.
    struct CloseUp {
        double start;
        double secondsPerColumn;
    };

    QRect overviewRect() const;
    QRect closeUpRect() const;
    QRect waveRect() const;
    int rulerHeight() const;
    Row rowAt(QPointF point) const;
    double timeAt(Row row, double x) const;
    CloseUp closeUp() const;
    std::int64_t bins() const;

    void requestSeek(double seconds);
    // After the position shown moved: redraws what shows it, tells screen readers.
    void followPosition();
    void syncFrames();
    void redrawAll();
    void redrawChangedBins();

    // WaveformPainting.cpp
    void paintNoSound(QPainter& painter);
    void paintOverview(QPainter& painter);
    void paintCloseUp(QPainter& painter);
    void drawOverviewColumns(int from, int to);
    // Draws the close-up's pixmap from the given column on.
    void drawCloseUp(std::int64_t firstColumn, double secondsPerColumn);
    void drawRuler(QPainter& painter, const QRect& row, double start, double secondsPerColumn) const;
    // Draws columns [from, to) of a row whose column 0 begins at bin `origin`.
    void drawWave(QPainter& painter, const QRect& row, int from, int to, double origin, double binsPerColumn) const;
    void shadeRepeat(QPainter& painter, const QRect& row, double start, double secondsPerColumn) const;

    const Peaks* m_peaks = nullptr;
    double m_length = 0;
    std::optional<std::pair<double, double>> m_repeat;
    double m_span;

    // The position reported last, and since when the view moves on from it.
    double m_reported = 0;
    QElapsedTimer m_sinceReport;
    bool m_playing = false;
    double m_rate = 1;
    QTimer m_frames;

    QPixmap m_overview;
    bool m_overviewStale = true;
    std::int64_t m_overviewBins = 0;
    // The close-up's pixmap begins at this column, counted from the recording's start.
    QPixmap m_closeUp;
    std::int64_t m_closeUpFirst = 0;
    double m_closeUpPerColumn = 0;
    bool m_closeUpStale = true;
    std::vector<std::pair<std::int64_t, std::int64_t>> m_changedBins;
    QTimer m_redraw;

    // What the screen shows of the position, to redraw only when it moves by a pixel.
    int m_overviewLine = -1;
    std::pair<std::int64_t, int> m_closeUpShown{-1, -1};
    std::int64_t m_announcedSecond = -1;

    Row m_dragRow = Row::None;
    // While dragging in the close-up, it stays where it was at the press.
    std::optional<double> m_dragCenter;
};

} // namespace waveform
