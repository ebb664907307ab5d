// Hot-key latency: the time from a synthetic key press leaving another X client to the window's
// HotKeyPress event, over real key grabs.
//
// Run it under an X server of its own, from the build folder:
//   ../tests/with-xvfb.sh bench/bench_hotkey_latency [presses]
// (default 300 presses of F3, F2 and F1 in turn). It prints the median, 99th percentile,
// minimum and maximum in milliseconds; the target is a median under 1 ms.
//
// This process plays both parts. The program: Qt's connection, the real platform and window,
// its GUI thread blocked in the event loop between presses as in real use, so waking it up is
// part of what is measured. The editor: a thread with a second Xlib connection that holds the
// focus and sends the presses through XTest. Both read the same steady clock: the editor just
// before it flushes the press, the program inside the HotKeyPress handler.
#include "tests/x11/XClient.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/FakePlayer.h"

#include "Statistics.h"
#include "StartWindow.h"

#include <QApplication>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for the GUI thread to fall asleep in the event loop before the next press.
constexpr auto IdleGap = std::chrono::milliseconds(3);

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// What the GUI thread's handler hands to the editor thread.
struct Handled {
    std::mutex mutex;
    std::condition_variable changed;
    int events = 0;
    Clock::time_point last;
};

// The editor's part; returns an empty text or what went wrong.
std::string PressAll(int presses, Handled& handled, std::vector<double>& latencies)
{
    xtest::XClient editor;
    if (!editor.IsUsable() || !editor.TakeFocus())
        return "no X display with XTest, or the editor could not take the focus";
    const xtest::XKeySym keys[] = {XK_F3, XK_F2, XK_F1};
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(IdleGap);
        const xtest::XKeySym key = keys[i % 3];
        Clock::time_point sent;
        editor.Press(key, [&] { sent = Clock::now(); });
        std::unique_lock lock(handled.mutex);
        const bool arrived = handled.changed.wait_for(lock, std::chrono::seconds(2), [&] { return handled.events > i; });
        const int events = handled.events;
        const Clock::time_point at = handled.last;
        lock.unlock();
        editor.Release(key);
        if (!arrived || events != i + 1)
            return "press " + std::to_string(i + 1) + " left the handler with " + std::to_string(events) + " events";
        latencies.push_back(Milliseconds(at - sent));
    }
    if (editor.SawKey())
        return "the editor with the focus received grabbed keys";
    return {};
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    const int presses = argc > 1 ? std::atoi(argv[1]) : 300;
    if (presses < 1) {
        std::fprintf(stderr, "usage: %s [presses]\n", argv[0]);
        return 2;
    }

    platform::LastResort lastResort;
    platform::LinuxPlatform desktop(lastResort);
    // The player plays no part in a hot key's way to the window.
    app::frm1 window(desktop, lastResort, std::make_unique<player::FakePlayer>());
    if (!StartWindow(window))
        return 1;

    Handled handled;
    window.HotKeys()->HotKeyPress.connect([&](const QString&, std::int32_t, std::int32_t) {
        const Clock::time_point now = Clock::now();
        {
            const std::lock_guard lock(handled.mutex);
            handled.last = now;
            ++handled.events;
        }
        handled.changed.notify_one();
    });

    std::vector<double> latencies;
    std::string failure;
    std::thread editor([&] {
        failure = PressAll(presses, handled, latencies);
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    editor.join();
    if (!failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }

    std::sort(latencies.begin(), latencies.end());
    const double median = Percentile(latencies, 50.0);
    std::printf("hot-key latency over %d presses (ms): median %.3f, p99 %.3f, min %.3f, max %.3f\n", presses,
                median, Percentile(latencies, 99.0), latencies.front(), latencies.back());
    std::printf("target median < 1 ms: %s\n", median < 1.0 ? "met" : "missed");
    return 0;
}
