#pragma once

#include "Peaks.h"

#include "platform/Error.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;

namespace waveform {

// The errors of reading a waveform; their source is "Waveform".
namespace WaveformError {
// Not a file FFmpeg can open and read: missing, unreadable, empty, not media.
inline constexpr std::int32_t CannotOpen = 1201;
// Its sound is in a form no decoder here knows.
inline constexpr std::int32_t CannotDecode = 1202;
} // namespace WaveformError

// Hands on peaks as they are decoded: the values of the peaks from firstBin on.
using PeaksDelivery = std::function<void(std::int64_t firstBin, std::vector<Peak> values)>;

// How reading a stretch of peaks ended, and the bin after the last one it reached.
struct RangeRead {
    enum Ending { Reached, EndOfSound, Damaged, Cancelled };
    Ending ending = Reached;
    std::int64_t endBin = 0;
};

// One recording opened with FFmpeg for its sound alone: the best audio stream is decoded, every
// other stream discarded. Used by one thread; many may be open on the same file at once. Every
// FFmpeg call gives up soon after `cancel` turns true.
class SoundFile {
public:
    static std::variant<std::unique_ptr<SoundFile>, platform::Error> Open(const QString& path,
                                                                          const std::atomic<bool>& cancel);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    bool hasSound() const { return m_stream >= 0; }
    // The length in bins as the file says, 0 when it does not say (or says something absurd).
    std::int64_t bins() const;
    // True when that length is a guess from the bit rate and the file's size.
    bool lengthEstimated() const;

    // Decodes the peaks of bins [first, end), or from first to the end of the sound when end is
    // negative, and hands them on in chunks, at least every ChunkBins or ChunkMs. Starting in the
    // middle, it decodes from a second before `first`, so that the decoder's state there is the
    // same as when decoding from the start and the peaks are too. Call once per SoundFile.
    static constexpr std::int64_t ChunkBins = 20 * PeaksPerSecond;
    static constexpr int ChunkMs = 50;
    RangeRead read(std::int64_t first, std::int64_t end, const PeaksDelivery& deliver);

private:
    SoundFile(AVFormatContext* format, const std::atomic<bool>& cancel);
    // Gets near the second before `first`, by seeking where the container's timestamps stay
    // exact after a seek; returns the timestamp up to which packets are passed over undecoded.
    std::int64_t getBefore(std::int64_t first);

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    int m_stream = -1;
    const std::atomic<bool>& m_cancel;
};

} // namespace waveform
