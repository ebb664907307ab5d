#include "waveform/WaveformView.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QToolTip>
#include <QWheelEvent>

#include <vector>

namespace {

using waveform::WaveformView;

constexpr int Width = 600;
constexpr int Seconds = 6;
constexpr int PixelsPerSecond = Width / Seconds;

// Speech 1–2.94 s and 3.5–5 s, with the 60 ms dips speech has every 200 ms; quiet before, between
// and after, with the last second not decoded.
waveform::Peaks Interview()
{
    waveform::Peaks peaks;
    for (int bin = 0; bin < 500; ++bin) {
        const bool speech = ((bin >= 100 && bin < 300) || bin >= 350) && bin % 20 < 14;
        const std::int8_t level = speech ? 100 : 1;
        peaks.values.push_back({std::int8_t(-level), level});
    }
    return peaks;
}

class WaveformStrip : public testing::Test {
protected:
    WaveformStrip()
    {
        view.resize(Width, view.sizeHint().height());
        view.setPeaks(&peaks);
        view.setLength(Seconds);
        QObject::connect(&view, &WaveformView::seekRequested, [this](double seconds) {
            seeks.push_back(seconds);
            view.setPosition(seconds);
        });
    }

    void Click(double x, double y)
    {
        const QPointF at(x, y);
        QMouseEvent press(QEvent::MouseButtonPress, at, view.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(&view, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view.mapToGlobal(at), Qt::LeftButton, {}, {});
        QApplication::sendEvent(&view, &release);
    }

    void Hover(double x, double y)
    {
        const QPointF at(x, y);
        QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, {}, {});
        QApplication::sendEvent(&view, &move);
    }

    void Key(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, {});
        QApplication::sendEvent(&view, &press);
    }

    void Wheel(int notches)
    {
        const QPointF at(Width / 2.0, CloseUpY());
        QWheelEvent wheel(at, view.mapToGlobal(at), {}, QPoint(0, 120 * notches), {}, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
    }

    double CloseUpY() const { return view.height() * 0.6; }

    waveform::Peaks peaks = Interview();
    WaveformView view;
    std::vector<double> seeks;
};

// The darkest grey in a column of the overview, and whether anything is drawn in its top rows.
struct Column {
    int darkest = 255;
    bool drawnHigh = false;
};

Column OverviewColumn(const QImage& image, double seconds)
{
    Column column;
    const int x = int(seconds * PixelsPerSecond);
    for (int y = 1; y < 25; ++y) {
        const int grey = qGray(image.pixel(x, y));
        column.darkest = std::min(column.darkest, grey);
        column.drawnHigh = column.drawnHigh || (y < 8 && grey < 240);
    }
    return column;
}

TEST_F(WaveformStrip, SilenceIsDrawnFainterThanSpeechAndUnknownUnlikeEither)
{
    const QImage image = view.grab().toImage();
    const int background = qGray(image.pixel(Width / 2, 1));
    for (const double seconds : {0.1, 0.5, 0.9, 3.1, 3.25, 3.4}) {
        const Column column = OverviewColumn(image, seconds);
        EXPECT_GT(column.darkest, 120) << "silence at " << seconds << " s is drawn as sound";
        EXPECT_LT(column.darkest, background) << "silence at " << seconds << " s is not drawn";
        EXPECT_FALSE(column.drawnHigh) << seconds;
    }
    for (double seconds = 1.05; seconds < 5; seconds += 0.05) {
        if (seconds > 2.94 && seconds < 3.5)
            continue;
        EXPECT_LT(OverviewColumn(image, seconds).darkest, 100) << "speech at " << seconds << " s is drawn as silence";
    }
    for (const double seconds : {5.1, 5.5, 5.9})
        EXPECT_TRUE(OverviewColumn(image, seconds).drawnHigh) << "the unknown at " << seconds << " s looks like silence";
}

TEST_F(WaveformStrip, PeaksDecodedLaterShowWithinATenthOfASecond)
{
    const waveform::Peaks decoded = peaks;
    std::fill(peaks.values.begin() + 100, peaks.values.end(), waveform::Peak{});
    EXPECT_TRUE(OverviewColumn(view.grab().toImage(), 2).drawnHigh);
    std::copy(decoded.values.begin() + 100, decoded.values.end(), peaks.values.begin() + 100);
    view.peaksChanged(100, 500);
    QThread::msleep(150);
    QApplication::processEvents();
    const QImage image = view.grab().toImage();
    EXPECT_LT(OverviewColumn(image, 2).darkest, 100) << "speech decoded later is not drawn";
    EXPECT_FALSE(OverviewColumn(image, 3.2).drawnHigh) << "silence decoded later is not drawn";
}

TEST_F(WaveformStrip, WhilePlayingThePositionMovesOnButNotFarBeyondTheLastReport)
{
    view.setPosition(2);
    view.setPlaying(true, 1.5);
    QThread::msleep(100);
    EXPECT_GT(view.position(), 2.1);
    QThread::msleep(500);
    EXPECT_LT(view.position(), 2.5) << "runs on without reports";
    view.setPlaying(false, 1.5);
    const double paused = view.position();
    QThread::msleep(50);
    EXPECT_EQ(view.position(), paused);
}

TEST_F(WaveformStrip, AClickInEitherRowGoesToTheTimeUnderThePointer)
{
    Hover(300, 5);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("00:00:03.0"));
    Click(300, 5);
    ASSERT_EQ(seeks.size(), 1u);
    EXPECT_NEAR(seeks.back(), 3.0, 0.01);

    view.setPosition(2.5);
    Click(360, CloseUpY());
    ASSERT_EQ(seeks.size(), 2u);
    // The close-up shows 10 s either side: 30 pixels a second.
    EXPECT_NEAR(seeks.back(), 2.5 - 10 + 360 / 30.0, 1 / 30.0);

    Key(Qt::Key_Left);
    EXPECT_NEAR(seeks.back(), 3.5, 1e-9);
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    EXPECT_NEAR(seeks.back(), 5.5, 1e-9);
    Key(Qt::Key_End);
    EXPECT_EQ(seeks.back(), Seconds);
}

TEST_F(WaveformStrip, TheWheelZoomsTheCloseUpBetweenTwoSecondsAndAMinute)
{
    Wheel(1);
    EXPECT_LT(view.closeUpSpan(), 20) << "turning the wheel away zooms in";
    Wheel(30);
    EXPECT_EQ(view.closeUpSpan(), 2);
    Wheel(-50);
    EXPECT_EQ(view.closeUpSpan(), 60);
}

TEST_F(WaveformStrip, ScreenReadersReadThePositionOutOfTheLength)
{
    view.setLength(45 * 60);
    view.setPosition(83.4);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Waveform"));
    EXPECT_EQ(accessible->text(QAccessible::Value), QStringLiteral("00:01:23 of 00:45:00"));
    QAccessibleValueInterface* value = accessible->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 83.4);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 45 * 60);
}

} // namespace
