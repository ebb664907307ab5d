#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

struct pa_context;
struct pa_mainloop;
struct pa_operation;

namespace player {

// The sound stream this process plays on a PulseAudio server, as the server sees it, asked
// around a pause to learn until when the sink played the stream's sound: a sink that can take
// back what it has mixed takes it back when the stream stops; one that cannot (a null sink
// recorded at its monitor) plays it to the end.
//
// The pause is not delayed by it: the first question is only sent before the stream stops, and
// its answer read afterwards, with a second question about the stopped stream. The sink's clock
// after the stop tells until when it had mixed; the blocks it mixed while the player was stopping
// are told apart, those before the stop from those after, by the sound they took from the stream.
//
// Reaches the server as libpulse does for mpv (PULSE_SERVER, else the user's runtime folder), on
// a connection of its own, made when the player starts to play through it and kept. An answer is
// waited for at most a few tenths of a second; without one the connection is dropped and the
// pause gets no answer, so the window never hangs. Times are SteadySeconds(), whose clock the
// server's is too. GUI thread only.
class PulseStream {
public:
    // The player was asked to stop the stream at `from` and had stopped it at `to`; it began to
    // (and stopped refilling the stream) at `began`, between the two.
    struct Stop {
        double from = 0;
        double began = 0;
        double to = 0;
    };

    PulseStream();
    ~PulseStream();
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // Connects ahead of the first question, so that it goes out at once; false if the server
    // cannot be reached.
    bool connect();
    // Sends the question about this process's one stream without waiting for the answer; without
    // a connection, sends nothing.
    void ask();
    // Once the stream has stopped after ask(): the time until which its sound was heard; nothing
    // if there was no answer, no or more than one stream, or the server reports no
    // figures for it (PipeWire's PulseAudio server reports zeros). Without a question sent, it
    // connects for the next one.
    std::optional<double> heardUntil(const Stop& stop);

    // What the server reported of the stream.
    struct Reading {
        // Seconds of sound the server holds that the sink has not mixed yet.
        double waiting = 0;
        // Seconds from the sink's mixing to its clock.
        double sinkLatency = 0;
        // The server answered after the question was sent and before its answer was read.
        double asked = 0;
        double answered = 0;
    };
    struct Question;

private:
    bool connected();
    void forgetQuestion();
    void disconnect();
    // Waits until `done` for the answers to the questions sent; without them in time, the
    // questions are cancelled and the connection dropped.
    template <typename Done>
    bool await(std::initializer_list<pa_operation*> operations, Done done);
    template <typename Done>
    bool runUntil(Done done);

    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    // The question ask() sent, until heardUntil() reads its answer.
    std::unique_ptr<Question> m_asked;
    pa_operation* m_askedOperation = nullptr;
};

// Seconds of the steady clock.
double SteadySeconds();

// Until when the sink played the stream's sound, from what the server reported `before` the
// player began to stop it (at `began`) and `after` it had stopped; `block` is the latency the
// sink is configured for, in whose blocks a sink without a sound card mixes (0: unknown).
double SoundHeardUntil(const PulseStream::Reading& before, const PulseStream::Reading& after, double block, double began);

} // namespace player
