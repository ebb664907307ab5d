#include "PulseStream.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>
#include <pulse/proplist.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

Q_LOGGING_CATEGORY(pauseLog, "horchpult.pause", QtWarningMsg)

namespace player {

namespace {

// A local server answers within a millisecond; one that takes longer than this is stuck.
constexpr std::chrono::milliseconds AnswerWithin{300};
// A sink stands a block ahead of its clock once it has mixed, less up to this much.
constexpr double BlockSpread = 0.001;
// The player refills the stream within this of a block's mixing, unless it is stopping.
constexpr double RefillWithin = 0.001;

double Seconds(pa_usec_t usec)
{
    return static_cast<double>(usec) / 1e6;
}

} // namespace

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct PulseStream::Question {
    bool done = false;
    std::string process = std::to_string(::getpid());
    // Every stream, of which this process's count; otherwise the one stream asked for.
    bool listing = false;
    int found = 0;
    std::uint32_t index = 0;
    std::uint32_t sink = 0;
    Reading stream;
};

namespace {

void Collect(pa_context*, const pa_sink_input_info* info, int last, void* data)
{
    auto& question = *static_cast<PulseStream::Question*>(data);
    if (last != 0) {
        question.done = true;
        return;
    }
    // Stopped streams count too: a busy server may answer the first question only once the
    // stream has stopped.
    const char* process = pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (question.listing && (!process || question.process != process))
        return;
    ++question.found;
    question.index = info->index;
    question.sink = info->sink;
    question.stream.waiting = Seconds(info->buffer_usec);
    question.stream.sinkLatency = Seconds(info->sink_usec);
}

struct SinkQuestion {
    bool done = false;
    double block = 0;
};

void CollectSink(pa_context*, const pa_sink_info* info, int last, void* data)
{
    auto& question = *static_cast<SinkQuestion*>(data);
    if (last != 0)
        question.done = true;
    else
        question.block = Seconds(info->configured_latency);
}

} // namespace

double SoundHeardUntil(const PulseStream::Reading& before, const PulseStream::Reading& after, double block, double began)
{
    // Each answer tells where the sink's clock stood, give or take the time the server took to
    // answer: no earlier than its question, no later than its answer was read.
    const auto low = [](const PulseStream::Reading& r) { return r.asked + r.sinkLatency; };
    const auto high = [](const PulseStream::Reading& r) { return r.answered + r.sinkLatency; };
    // A sink that can takes back at the stop what it had mixed beyond its clock; its clock after
    // the stop tells until when it had mixed.
    if (block <= 0 || high(after) < low(before))
        return low(after);
    // The sink mixes a block whenever its clock runs out, and then stands one block ahead (more,
    // if it mixed late). If its clock may have stood still between the answers, it mixed nothing.
    if (low(after) <= high(before))
        return std::max(low(before), low(after));
    // A block mixed before the stop took the stream's sound; the player refills what a block took
    // within a moment, but not once it has begun to stop. So a block due well before the player
    // began to stop took sound, and of the others the stream holds that much less after the
    // stop as they took; a sink that mixes late may mix one due before the stop after it.
    const int mixed = std::max(1, static_cast<int>(std::floor((high(after) - low(before)) / (block - BlockSpread))));
    const int refilled = std::clamp(static_cast<int>(std::ceil((began - RefillWithin - low(before)) / block)), 0, mixed);
    const int unrefilled = static_cast<int>(std::lround((before.waiting - after.waiting) / block));
    const int taken = std::clamp(refilled + unrefilled, 0, mixed);
    return std::max(low(before) + taken * block, low(after) - (mixed - taken) * block);
}

PulseStream::PulseStream() = default;

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

bool PulseStream::connected()
{
    // A server gone since the last question is noticed here, not by waiting for its answer.
    return m_context && pa_mainloop_iterate(m_loop, 0, nullptr) >= 0 && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

bool PulseStream::connect()
{
    if (connected())
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

void PulseStream::forgetQuestion()
{
    if (m_askedOperation) {
        // No late answer may reach the question, which goes with it.
        pa_operation_cancel(m_askedOperation);
        pa_operation_unref(m_askedOperation);
        m_askedOperation = nullptr;
    }
    m_asked.reset();
}

void PulseStream::disconnect()
{
    forgetQuestion();
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

void PulseStream::ask()
{
    forgetQuestion();
    // Connecting takes milliseconds: it is left until after the stop.
    if (!connected())
        return;
    m_asked = std::make_unique<Question>();
    m_asked->listing = true;
    m_askedOperation = pa_context_get_sink_input_info_list(m_context, Collect, m_asked.get());
    // One turn of the loop hands the question to the server; its answer is read after the stop.
    m_asked->stream.asked = SteadySeconds();
    if (!m_askedOperation || pa_mainloop_iterate(m_loop, 0, nullptr) < 0)
        disconnect();
}

template <typename Done>
bool PulseStream::await(std::initializer_list<pa_operation*> operations, Done done)
{
    const bool sent = std::all_of(operations.begin(), operations.end(), [](pa_operation* o) { return o != nullptr; });
    const bool answered = sent && runUntil(done);
    for (pa_operation* operation : operations) {
        if (!operation)
            continue;
        // No late answer may reach a question that goes with this call.
        if (!answered)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    if (!answered)
        disconnect();
    return answered;
}

std::optional<double> PulseStream::heardUntil(const Stop& stop)
{
    if (!m_asked) {
        connect();
        return std::nullopt;
    }
    const std::unique_ptr<Question> asked = std::move(m_asked);
    if (!await({std::exchange(m_askedOperation, nullptr)}, [&] { return asked->done; }) || asked->found != 1) {
        qCDebug(pauseLog) << "no answer about one stream before the stop; streams found:" << asked->found;
        return std::nullopt;
    }
    Reading before = asked->stream;
    before.answered = SteadySeconds();
    // PipeWire's PulseAudio server reports neither, as zeros: that is no answer.
    if (before.waiting == 0 && before.sinkLatency == 0) {
        qCDebug(pauseLog) << "no playing stream reported before the stop";
        return std::nullopt;
    }

    Question now;
    SinkQuestion sink;
    now.stream.asked = SteadySeconds();
    if (!await({pa_context_get_sink_input_info(m_context, asked->index, Collect, &now),
                pa_context_get_sink_info_by_index(m_context, asked->sink, CollectSink, &sink)},
               [&] { return now.done && sink.done; }) ||
        now.found != 1) {
        qCDebug(pauseLog) << "no answer about the stream after the stop";
        return std::nullopt;
    }
    Reading& after = now.stream;
    after.answered = SteadySeconds();

    const double until = SoundHeardUntil(before, after, sink.block, stop.began);
    qCDebug(pauseLog).nospace() << "before: waiting " << before.waiting * 1e3 << " ms, sink " << before.sinkLatency * 1e3
                                << " ms, answer read at " << (before.answered - before.asked) * 1e3 << " ms; stop from "
                                << (stop.from - before.asked) * 1e3 << ", began " << (stop.began - before.asked) * 1e3
                                << ", done " << (stop.to - before.asked) * 1e3 << "; after: waiting " << after.waiting * 1e3
                                << " ms, sink " << after.sinkLatency * 1e3 << " ms, asked at " << (after.asked - before.asked) * 1e3
                                << ", answer read at " << (after.answered - before.asked) * 1e3 << "; block " << sink.block * 1e3
                                << "; heard until " << (until - before.asked) * 1e3;
    return until;
}

} // namespace player
