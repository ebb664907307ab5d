#include "player/PulseStream.h"

#include <gtest/gtest.h>

namespace {

// Pauses as the sound server reported them around the stop, in milliseconds from the first
// question, taken from cycles that resumed a block early or late under load; the sink mixes in
// blocks of 20 ms.
struct Pause {
    const char* what;
    double waitingBefore, sinkBefore, answerReadBefore, began;
    double waitingAfter, sinkAfter, askedAfter, answerReadAfter, heardUntil;
};

class SoundHeardUntil : public ::testing::TestWithParam<Pause> {};

TEST_P(SoundHeardUntil, CountsTheBlocksMixedBeforeTheStopOnly)
{
    const Pause& p = GetParam();
    const player::PulseStream::Reading before{p.waitingBefore / 1e3, p.sinkBefore / 1e3, 0, p.answerReadBefore / 1e3};
    const player::PulseStream::Reading after{p.waitingAfter / 1e3, p.sinkAfter / 1e3, p.askedAfter / 1e3, p.answerReadAfter / 1e3};
    EXPECT_NEAR(player::SoundHeardUntil(before, after, 0.020, p.began / 1e3) * 1e3, p.heardUntil, 0.01) << p.what;
}

INSTANTIATE_TEST_SUITE_P(
    Pauses, SoundHeardUntil,
    ::testing::Values(Pause{"nothing mixed in between", 100, 12.0, 1.1, 0.06, 100, 10.9, 1.15, 1.45, 12.05},
                      Pause{"a block mixed while stopping: the stream holds less", 100, 1.778, 2.6, 0.151, 80, 19.128, 2.65, 3.0, 21.778},
                      Pause{"a block mixed after the stop", 100, 0.193, 0.5, 0.07, 100, 19.778, 0.5, 0.62, 0.278},
                      Pause{"a late sink mixes more at once", 100, 0.062, 7.8, 0.056, 80, 19.398, 7.9, 8.35, 27.298},
                      Pause{"the first answer came late, after a block", 80, 19.775, 3.65, 0.054, 80, 19.31, 3.65, 3.87, 22.96},
                      Pause{"the first answer came late, nothing mixed", 100, 6.193, 11.55, 6.06, 100, 5.75, 11.5765, 11.8777, 17.3265},
                      Pause{"a block due as the stop began, mixed late after it", 100, 0.0, 0.5, 0.05, 100, 19.6, 0.5, 0.7, 0.1},
                      Pause{"a block due before the stop, mixed late after it", 100, 1.388, 5.6, 0.107, 100, 12.144, 7.5, 9.2, 1.388},
                      Pause{"a block due as the stop began, then one after it", 100, 0, 23.8, 0.067, 80, 18.936, 23.837, 24.767, 22.773},
                      Pause{"a block refilled before a slow stop began, one mixed while stopping", 100, 1.0, 22.05, 6.0, 80, 18.9, 22.1, 22.4, 41.0},
                      Pause{"a sink that took its sound back", 100, 15.0, 0.5, 0.05, 115, 0.5, 0.55, 0.6, 1.05}));

} // namespace
