// A storm of hot keys on the real window playing a 60 s recording with auto-rewind on: thousands
// of F1, F2 and F3 presses from another X client, as fast as the X server takes them. Every
// press must reach the window's hot-key registry once and in order, nothing may fail, the window
// must still answer afterwards, and the storm must leave no memory behind.

#include "UserSession.h"

#include "../ProcessMemory.h"
#include "../media/TestMedia.h"

#include <QCheckBox>

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <random>
#include <vector>

namespace {

using namespace std::chrono_literals;
using e2e::Eventually;
using e2e::OnGui;
using player::MediaPlayer;
using testing_support::ResidentMiB;

constexpr int WarmUpPresses = 300;
constexpr int StormPresses = 5000;
// A round trip after this many presses keeps the requests from piling up unread.
constexpr int SyncEvery = 50;
// The growth of the resident set that the storm may leave behind.
constexpr double MemoryTolerance = 0.05;
// AddressSanitizer keeps freed memory in its quarantine, so there the resident set tells
// nothing about leaks; the figures are still printed.
#ifdef __SANITIZE_ADDRESS__
constexpr bool MemoryTellsLeaks = false;
#else
constexpr bool MemoryTellsLeaks = true;
#endif

// The window's keys by the virtual-key code its registry reports for them.
const std::map<xtest::XKeySym, std::int32_t> VirtualKeyOf{{XK_F1, 112}, {XK_F2, 113}, {XK_F3, 114}};

// A fixed pseudo-random mix of F1, F2 and F3, the same on every run.
std::vector<xtest::XKeySym> KeySequence(int presses, unsigned seed)
{
    const xtest::XKeySym keys[] = {XK_F1, XK_F2, XK_F3};
    std::minstd_rand random(seed);
    std::vector<xtest::XKeySym> sequence;
    for (int i = 0; i < presses; ++i)
        sequence.push_back(keys[random() % 3]);
    return sequence;
}

class HotKeyStorm : public e2e::UserSession {
protected:
    // On the GUI thread, before the user's thread starts: every press the registry reports.
    void CountPresses()
    {
        window->HotKeys()->HotKeyPress.connect([this](const QString&, std::int32_t, std::int32_t key) {
            handledKeys.push_back(key);
            lastHandled.store(std::chrono::steady_clock::now());
            handled.store(static_cast<int>(handledKeys.size()));
        });
    }

    // Presses and releases each key, flushing each event at once.
    static void Press(xtest::XClient& x, const std::vector<xtest::XKeySym>& keys)
    {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            x.Press(keys[i]);
            x.Release(keys[i]);
            if ((i + 1) % SyncEvery == 0)
                x.Sync();
        }
        x.Sync();
    }

    // On the user's thread: whether exactly this many presses arrive within the timeout and no
    // more follow.
    bool Handled(int expected, std::chrono::milliseconds timeout) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (handled.load() < expected && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(300ms);
        return handled.load() == expected;
    }

    std::vector<std::int32_t> handledKeys;
    std::atomic<int> handled = 0;
    std::atomic<std::chrono::steady_clock::time_point> lastHandled;
};

TEST_F(HotKeyStorm, FiveThousandPressesAreHandledOneByOneWithoutFailureOrGrowth)
{
    const QString recording = media::Path(media::Wav());
    ASSERT_FALSE(recording.isEmpty()) << "FFmpeg could not make the recording";
    CountPresses();
    const std::vector<xtest::XKeySym> warmUp = KeySequence(WarmUpPresses, 7);
    const std::vector<xtest::XKeySym> storm = KeySequence(StormPresses, 1999);

    int opening = 0;
    double before = 0, after = 0, seconds = 0;
    Drive([&](xtest::XClient& x) {
        OpenThroughDialog(x, recording);
        ASSERT_TRUE(Eventually([this] { return window->Geladen() == -1; })) << "the recording was not opened";
        ClickOn(x, "Check1");
        ASSERT_TRUE(Eventually([this] { return window->findChild<QCheckBox*>(QStringLiteral("Check1"))->isChecked(); }))
            << "a click does not turn auto-rewind on";
        ASSERT_TRUE(x.TakeFocus());
        x.Tap(XK_F3);
        ASSERT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; })) << "F3 does not play";
        opening = handled.load();

        // Whatever the first presses make (caches, the decoder's buffers) exists before the
        // memory is measured.
        Press(x, warmUp);
        ASSERT_TRUE(Handled(opening + WarmUpPresses, 20s))
            << "the warm-up's " << WarmUpPresses << " presses left " << handled.load() - opening << " events";
        before = ResidentMiB();

        const auto start = std::chrono::steady_clock::now();
        Press(x, storm);
        const int expected = opening + WarmUpPresses + StormPresses;
        const bool complete = Handled(expected, 40s);
        seconds = std::chrono::duration<double>(lastHandled.load() - start).count();
        ASSERT_TRUE(complete) << "the storm's " << StormPresses << " presses left "
                              << handled.load() - opening - WarmUpPresses << " events";
        after = ResidentMiB();

        // The commands ran, not only the events: the last F3 or F2 decides the play state.
        const auto lastPlayOrPause = std::find_if(storm.rbegin(), storm.rend(), [](auto key) { return key != XK_F1; });
        EXPECT_EQ(State() == MediaPlayer::Playing, *lastPlayOrPause == XK_F3)
            << "the storm's last F3 or F2 is not what the player did last (state " << State() << ")";
        EXPECT_TRUE(OnGui([] { return QApplication::activeModalWidget() == nullptr; }))
            << "a message box is up after the storm: a command failed";
        EXPECT_TRUE(OnGui([this] { return fatal.isEmpty(); })) << "the storm ended in the last resort";

        // Still answering: F3 plays and the position moves on.
        x.Tap(XK_F3);
        ASSERT_TRUE(Eventually([this] { return Player().playState() == MediaPlayer::Playing; }))
            << "F3 after the storm does not play";
        const double from = Position();
        std::this_thread::sleep_for(600ms);
        EXPECT_GT(Position(), from + 0.3) << "the position does not move after F3 following the storm";
    });

    if (HasFatalFailure())
        return;
    // Back on the GUI thread, which wrote them.
    ASSERT_EQ(handledKeys.size(), opening + WarmUpPresses + StormPresses + 1)
        << "presses and hot-key events differ in number";
    for (int i = 0; i < StormPresses; ++i) {
        ASSERT_EQ(handledKeys[opening + WarmUpPresses + i], VirtualKeyOf.at(storm[i]))
            << "storm press " << i + 1 << " reached the registry as another key, or out of order";
    }

    const double rate = StormPresses / seconds;
    std::cout << "hot-key storm: " << StormPresses << " presses handled in " << seconds << " s, " << rate
              << " presses/s; VmRSS before " << before << " MiB, after " << after << " MiB ("
              << (after / before - 1) * 100 << " %)" << std::endl;
    RecordProperty("presses_per_second", std::to_string(rate));
    RecordProperty("vmrss_before_mib", std::to_string(before));
    RecordProperty("vmrss_after_mib", std::to_string(after));
    if (MemoryTellsLeaks) {
        EXPECT_LE(after, before * (1 + MemoryTolerance))
            << "the storm left the resident set at " << after << " MiB, from " << before << " MiB before it";
    }
}

} // namespace
