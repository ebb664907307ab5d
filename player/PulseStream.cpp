#include "PulseStream.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/proplist.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace player {

namespace {

// A local server answers within a millisecond; one that takes longer than this is stuck.
constexpr std::chrono::milliseconds AnswerWithin{300};
// Between the question before a pause and the stop, a loaded machine may take this long: a sink
// that mixes its next block sooner is let mix it first.
constexpr double NextBlockWithin = 0.010;

struct Question {
    bool done = false;
    std::string process = std::to_string(::getpid());
    std::optional<std::uint32_t> index;
    int found = 0;
    PulseStream::Playing stream;
};

double Seconds(pa_usec_t usec)
{
    return static_cast<double>(usec) / 1e6;
}

void Collect(pa_context*, const pa_sink_input_info* info, int last, void* data)
{
    auto& question = *static_cast<Question*>(data);
    if (last != 0) {
        question.done = true;
        return;
    }
    if (question.index ? info->index != *question.index : info->corked != 0)
        return;
    const char* process = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (!question.index && (!process || question.process != process))
        return;
    ++question.found;
    question.stream = {info->index, Seconds(info->buffer_usec), Seconds(info->sink_usec)};
}

} // namespace

PulseStream::~PulseStream()
{
    disconnect();
}

template <typename Done>
bool PulseStream::runUntil(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + AnswerWithin;
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || pa_mainloop_prepare(m_loop, static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(m_loop) < 0 || pa_mainloop_dispatch(m_loop) < 0)
            return false;
    }
    return true;
}

bool PulseStream::connect()
{
    // A server gone since the last question is noticed here, not by waiting for its answer.
    if (m_context && pa_mainloop_iterate(m_loop, 0, nullptr) >= 0 && pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return true;
    disconnect();
    m_loop = pa_mainloop_new();
    m_context = m_loop ? pa_context_new(pa_mainloop_get_api(m_loop), "Horchpult") : nullptr;
    if (!m_context || pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        disconnect();
        return false;
    }
    const auto settled = [this] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)) ||
                                         pa_context_get_state(m_context) == PA_CONTEXT_READY; };
    if (!runUntil(settled) || pa_context_get_state(m_context) != PA_CONTEXT_READY) {
        disconnect();
        return false;
    }
    return true;
}

void PulseStream::disconnect()
{
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pa_mainloop_free(m_loop);
        m_loop = nullptr;
    }
}

std::optional<PulseStream::Playing> PulseStream::playing(const std::function<std::optional<double>()>& clock)
{
    auto stream = find(std::nullopt);
    // PipeWire's PulseAudio server reports neither, as zeros: that is no answer.
    if (!stream || (stream->waiting == 0 && stream->sinkLatency == 0))
        return std::nullopt;
    if (stream->sinkLatency < NextBlockWithin)
        std::this_thread::sleep_for(std::chrono::duration<double>(stream->sinkLatency + 0.001));
    // The server answers half way between the two readings, as a rule.
    const auto before = clock();
    stream = find(stream->index);
    const auto after = clock();
    if (!stream || !before || !after)
        return std::nullopt;
    stream->clock = (*before + *after) / 2;
    return stream;
}

double PulseStream::heardAfterStop(const Playing& before)
{
    const auto after = find(before.index);
    if (!after)
        return 0;
    // A sink that can takes back at most what it had mixed. A stream that gained more had a
    // refill on its way, which was never mixed; the sink then took nothing back.
    const double given = after->waiting - before.waiting;
    return given > before.sinkLatency ? before.sinkLatency : std::max(0.0, before.sinkLatency - given);
}

std::optional<PulseStream::Playing> PulseStream::find(std::optional<std::uint32_t> index)
{
    if (!connect())
        return std::nullopt;
    Question question;
    question.index = index;
    pa_operation* operation = index ? pa_context_get_sink_input_info(m_context, *index, Collect, &question)
                                    : pa_context_get_sink_input_info_list(m_context, Collect, &question);
    const bool answered = operation && runUntil([&] { return question.done; });
    if (operation) {
        // No late answer may reach the question, which goes with this call.
        if (!answered)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    if (!answered)
        disconnect();
    if (!answered || question.found != 1)
        return std::nullopt;
    return question.stream;
}

} // namespace player
