#include "SoundFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace waveform {

namespace {

const QString Source = QStringLiteral("Waveform");
// Decoded before a range and not used: enough for every decoder's state (MP3's bit reservoir,
// Opus's pre-roll, the overlap of AAC's and Vorbis's transforms) to be what it is when decoding
// from the start.
constexpr std::int64_t WarmUpBins = PeaksPerSecond;
// Longer than any recording: a length or a timestamp beyond it is garbage.
constexpr std::int64_t MaxBins = std::int64_t{100} * 3600 * PeaksPerSecond;
// Failed reads in a row after which the rest of a damaged file is given up.
constexpr int MaxFailuresInARow = 100;

// Containers whose timestamps after a seek are those of reading from the start, since they come
// from the file itself (an index, sample counts, granule positions) rather than from counting
// frames. Raw streams (MP3, ADTS AAC) count, so they are read from the start.
bool SeeksExactly(const AVInputFormat& format)
{
    static const char* const exact[] = {"wav", "w64", "flac", "ogg", "mov,mp4,m4a,3gp,3g2,mj2",
                                        "matroska,webm", "aiff", "caf"};
    return std::any_of(std::begin(exact), std::end(exact),
                       [&](const char* name) { return std::strcmp(format.name, name) == 0; });
}

platform::Error MakeError(std::int32_t number, const QString& path, int ffmpegError)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ffmpegError, text, sizeof text);
    return platform::Error(number, Source, QStringLiteral("%1: %2").arg(path, QString::fromUtf8(text)));
}

int Interrupted(void* cancel)
{
    return static_cast<const std::atomic<bool>*>(cancel)->load(std::memory_order_relaxed) ? 1 : 0;
}

// Bin b holds samples [floor(b * rate / 100), floor((b + 1) * rate / 100)).
std::int64_t BinOf(std::int64_t sample, int rate)
{
    return (sample * PeaksPerSecond + PeaksPerSecond - 1) / rate;
}

std::int64_t FirstSampleOf(std::int64_t bin, int rate)
{
    return bin * rate / PeaksPerSecond;
}

std::int8_t Level(double value)
{
    const double scaled = std::round(value * 127);
    // Not a number goes to the bottom.
    return static_cast<std::int8_t>(scaled >= 127 ? 127 : scaled > -127 ? scaled : -127);
}

template <typename T>
Peak ExtremesAs(const AVFrame& frame, int from, int to, double zero, double fullScale)
{
    T low = std::numeric_limits<T>::max();
    T high = std::numeric_limits<T>::lowest();
    const auto scan = [&](const std::uint8_t* data, int first, int count) {
        const T* samples = reinterpret_cast<const T*>(data) + first;
        for (int i = 0; i < count; ++i) {
            low = std::min(low, samples[i]);
            high = std::max(high, samples[i]);
        }
    };
    const int channels = frame.ch_layout.nb_channels;
    if (av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame.format))) {
        for (int channel = 0; channel < channels; ++channel)
            scan(frame.extended_data[channel], from, to - from);
    } else {
        scan(frame.data[0], from * channels, (to - from) * channels);
    }
    return {Level((low - zero) / fullScale), Level((high - zero) / fullScale)};
}

// The peak of samples [from, to) of a decoded frame, over all its channels.
Peak Extremes(const AVFrame& frame, int from, int to)
{
    if (frame.ch_layout.nb_channels <= 0)
        return {};
    switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(frame.format))) {
    case AV_SAMPLE_FMT_U8:
        return ExtremesAs<std::uint8_t>(frame, from, to, 128, 128);
    case AV_SAMPLE_FMT_S16:
        return ExtremesAs<std::int16_t>(frame, from, to, 0, 32768.0);
    case AV_SAMPLE_FMT_S32:
        return ExtremesAs<std::int32_t>(frame, from, to, 0, 2147483648.0);
    case AV_SAMPLE_FMT_S64:
        return ExtremesAs<std::int64_t>(frame, from, to, 0, 9223372036854775808.0);
    case AV_SAMPLE_FMT_FLT:
        return ExtremesAs<float>(frame, from, to, 0, 1);
    case AV_SAMPLE_FMT_DBL:
        return ExtremesAs<double>(frame, from, to, 0, 1);
    default:
        return {};
    }
}

// The peaks decoded and not yet handed on, from bin `first` on; the last may still grow with the
// next frame.
class Pending {
public:
    Pending(std::int64_t first, const PeaksDelivery& deliver) : m_first(first), m_deliver(deliver)
    {
        m_sinceHandedOn.start();
    }

    void add(std::int64_t bin, Peak peak)
    {
        // Frames may overlap by a few samples where timestamps are rounded.
        if (bin < m_first || !peak.known())
            return;
        if (bin > end()) {
            handOn(m_values.size());
            m_first = bin;
        }
        if (bin == end()) {
            m_values.push_back(peak);
            return;
        }
        Peak& into = m_values[static_cast<std::size_t>(bin - m_first)];
        into = into.known() ? Peak{std::min(into.low, peak.low), std::max(into.high, peak.high)} : peak;
    }

    void handOnIfDue()
    {
        const std::size_t done = m_values.empty() ? 0 : m_values.size() - 1;
        if (done >= static_cast<std::size_t>(SoundFile::ChunkBins) ||
            (done > 0 && m_sinceHandedOn.hasExpired(SoundFile::ChunkMs)))
            handOn(done);
    }

    void handOnAll() { handOn(m_values.size()); }
    std::int64_t end() const { return m_first + static_cast<std::int64_t>(m_values.size()); }

private:
    void handOn(std::size_t count)
    {
        if (count == 0)
            return;
        m_deliver(m_first, std::vector<Peak>(m_values.begin(), m_values.begin() + static_cast<std::ptrdiff_t>(count)));
        m_values.erase(m_values.begin(), m_values.begin() + static_cast<std::ptrdiff_t>(count));
        m_first += static_cast<std::int64_t>(count);
        m_sinceHandedOn.restart();
    }

    std::int64_t m_first;
    std::vector<Peak> m_values;
    const PeaksDelivery& m_deliver;
    QElapsedTimer m_sinceHandedOn;
};

struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

} // namespace

SoundFile::SoundFile(AVFormatContext* format, const std::atomic<bool>& cancel) : m_format(format), m_cancel(cancel)
{
}

SoundFile::~SoundFile()
{
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
}

std::variant<std::unique_ptr<SoundFile>, platform::Error> SoundFile::Open(const QString& path,
                                                                         const std::atomic<bool>& cancel)
{
    AVFormatContext* format = avformat_alloc_context();
    if (!format)
        return MakeError(WaveformError::CannotOpen, path, AVERROR(ENOMEM));
    format->interrupt_callback = {&Interrupted, const_cast<std::atomic<bool>*>(&cancel)};
    // The file alone: a playlist or a reference file must not lead FFmpeg to other files or the
    // network.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int result = avformat_open_input(&format, QByteArray("file:" + QFile::encodeName(path)).constData(), nullptr,
                                     &options);
    av_dict_free(&options);
    if (result < 0)
        return MakeError(WaveformError::CannotOpen, path, result);
    std::unique_ptr<SoundFile> file(new SoundFile(format, cancel));

    result = avformat_find_stream_info(format, nullptr);
    if (result < 0)
        return MakeError(WaveformError::CannotOpen, path, result);
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream == AVERROR_STREAM_NOT_FOUND)
        return file;
    if (stream < 0 || !decoder)
        return MakeError(WaveformError::CannotDecode, path, stream < 0 ? stream : AVERROR_DECODER_NOT_FOUND);
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    file->m_codec = avcodec_alloc_context3(decoder);
    if (!file->m_codec)
        return MakeError(WaveformError::CannotDecode, path, AVERROR(ENOMEM));
    result = avcodec_parameters_to_context(file->m_codec, format->streams[stream]->codecpar);
    file->m_codec->pkt_timebase = format->streams[stream]->time_base;
    // Decoding is already spread over the cores by ranges.
    file->m_codec->thread_count = 1;
    if (result >= 0)
        result = avcodec_open2(file->m_codec, decoder, nullptr);
    if (result < 0)
        return MakeError(WaveformError::CannotDecode, path, result);
    file->m_stream = stream;
    return file;
}

std::int64_t SoundFile::bins() const
{
    if (!hasSound())
        return 0;
    const AVStream& stream = *m_format->streams[m_stream];
    std::int64_t bins = 0;
    if (stream.duration > 0)
        bins = av_rescale_rnd(stream.duration, std::int64_t{PeaksPerSecond} * stream.time_base.num,
                              stream.time_base.den, AV_ROUND_UP);
    else if (m_format->duration > 0)
        bins = av_rescale_rnd(m_format->duration, PeaksPerSecond, AV_TIME_BASE, AV_ROUND_UP);
    return bins > 0 && bins <= MaxBins ? bins : 0;
}

bool SoundFile::lengthEstimated() const
{
    return m_format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
}

std::int64_t SoundFile::getBefore(std::int64_t first)
{
    const AVStream& stream = *m_format->streams[m_stream];
    const std::int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    const std::int64_t target =
        start + av_rescale_q(std::max<std::int64_t>(0, first - WarmUpBins), AVRational{1, PeaksPerSecond}, stream.time_base);
    if (SeeksExactly(*m_format->iformat) && av_seek_frame(m_format, m_stream, target, AVSEEK_FLAG_BACKWARD) >= 0)
        return AV_NOPTS_VALUE;
    return target;
}

RangeRead SoundFile::read(std::int64_t first, std::int64_t end, const PeaksDelivery& deliver)
{
    const AVStream& stream = *m_format->streams[m_stream];
    const std::int64_t start = stream.start_time == AV_NOPTS_VALUE ? 0 : stream.start_time;
    const std::int64_t last = end < 0 ? MaxBins : std::min(end, MaxBins);
    std::int64_t passOver = first > 0 ? getBefore(first) : AV_NOPTS_VALUE;
    Pending pending(first, deliver);
    const std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    if (!packet || !frame)
        return {RangeRead::Damaged, first};

    // The sample after the last frame's: frames without a timestamp follow on from there.
    std::int64_t next = AV_NOPTS_VALUE;
    // Adds a frame's peaks; false once past the range.
    const auto take = [&](const AVFrame& decoded) {
        const int rate = decoded.sample_rate;
        if (rate <= 0 || decoded.nb_samples <= 0)
            return true;
        const std::int64_t at = decoded.best_effort_timestamp != AV_NOPTS_VALUE
                                    ? av_rescale_q(decoded.best_effort_timestamp - start, stream.time_base, AVRational{1, rate})
                                    : next;
        if (at == AV_NOPTS_VALUE)
            return true;
        if (at >= FirstSampleOf(last, rate))
            return false;
        next = at + decoded.nb_samples;
        for (std::int64_t sample = std::max(at, FirstSampleOf(first, rate)); sample < next;) {
            const std::int64_t bin = BinOf(sample, rate);
            if (bin >= last)
                return false;
            const std::int64_t to = std::min(next, FirstSampleOf(bin + 1, rate));
            pending.add(bin, Extremes(decoded, static_cast<int>(sample - at), static_cast<int>(to - at)));
            sample = to;
        }
        pending.handOnIfDue();
        return true;
    };

    // A decoder failing on a packet is damage once the range has begun; in the warm-up before
    // it, a decoder joining mid-stream may fail on a packet or two.
    bool damaged = false;
    const auto failed = [&] { damaged = damaged || pending.end() > first; };
    // Decodes a packet (none: the decoder's last frames); false once past the range.
    const auto decode = [&](const AVPacket* coded) {
        if (avcodec_send_packet(m_codec, coded) < 0)
            failed();
        for (;;) {
            const int got = avcodec_receive_frame(m_codec, frame.get());
            if (got < 0) {
                if (got != AVERROR(EAGAIN) && got != AVERROR_EOF)
                    failed();
                return true;
            }
            const bool within = take(*frame);
            av_frame_unref(frame.get());
            if (!within)
                return false;
        }
    };

    RangeRead::Ending ending = RangeRead::Reached;
    int failuresInARow = 0;
    for (;;) {
        if (m_cancel.load(std::memory_order_relaxed)) {
            ending = RangeRead::Cancelled;
            break;
        }
        const int got = av_read_frame(m_format, packet.get());
        if (got == AVERROR_EOF) {
            ending = decode(nullptr) ? RangeRead::EndOfSound : RangeRead::Reached;
            break;
        }
        if (got < 0) {
            if (m_cancel.load(std::memory_order_relaxed))
                continue;
            damaged = true;
            if (++failuresInARow >= MaxFailuresInARow || (m_format->pb && avio_feof(m_format->pb))) {
                ending = RangeRead::EndOfSound;
                break;
            }
            continue;
        }
        failuresInARow = 0;
        const bool passedOver = packet->stream_index != m_stream ||
                                (passOver != AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE &&
                                 packet->pts + std::max<std::int64_t>(packet->duration, 0) < passOver);
        if (!passedOver)
            passOver = AV_NOPTS_VALUE;
        const bool within = passedOver || decode(packet.get());
        av_packet_unref(packet.get());
        if (!within)
            break;
    }
    pending.handOnAll();
    if (damaged && ending != RangeRead::Cancelled)
        ending = RangeRead::Damaged;
    return {ending, pending.end()};
}

} // namespace waveform
