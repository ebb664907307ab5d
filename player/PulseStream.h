#pragma once

#include <cstdint>
#include <functional>
#include <optional>

struct pa_context;
struct pa_mainloop;

namespace player {

// The sound stream this process plays on a PulseAudio server, as the server sees it, asked
// around a pause to learn how much of the sound handed over was still heard after mpv's clock:
// a sink that can take back what it has mixed takes it back when the stream stops; one that
// cannot (a null sink recorded at its monitor) plays it to the end.
//
// Reaches the server as libpulse does for mpv (PULSE_SERVER, else the user's runtime folder), on
// a connection of its own, made at the first question and kept. A question waits at most a few
// tenths of a second; without an answer in time the connection is dropped and the question gets
// none, so the window never hangs. GUI thread only.
class PulseStream {
public:
    struct Playing {
        std::uint32_t index = 0;
        // Seconds of sound the server holds that the sink has not mixed yet.
        double waiting = 0;
        // Seconds from the sink's mixing to its clock.
        double sinkLatency = 0;
        // The player's clock as the server answered.
        double clock = 0;
    };

    PulseStream() = default;
    ~PulseStream();
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // This process's one playing stream, just before it stops, with the player's `clock` read
    // around the answer; nothing if there is none or more than one, if the server reports
    // nothing of it, or if the clock stands still. A sink about to mix its next block is let mix
    // it first (a few milliseconds), so that neither the sink nor the player's refill changes the
    // stream before it stops.
    std::optional<Playing> playing(const std::function<std::optional<double>()>& clock);
    // Once that stream has stopped: the seconds of its sound heard after the sink's clock as
    // `before` found it. 0 without an answer.
    double heardAfterStop(const Playing& before);

private:
    // The stream with this index, or else this process's one playing stream.
    std::optional<Playing> find(std::optional<std::uint32_t> index);
    bool connect();
    void disconnect();
    template <typename Done>
    bool runUntil(Done done);

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

} // namespace player
