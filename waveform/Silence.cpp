#include "Silence.h"

#include <algorithm>
#include <cstdlib>

namespace waveform {

namespace {

// About -32 dBFS of full scale (127): above the hiss of ordinary recordings, below the peaks of
// quiet speech.
constexpr int QuietLevel = 3;
// 150 ms: a pause between phrases lasts longer, a stop consonant or a dip between syllables
// does not.
constexpr std::int64_t PauseBins = LookReach;

bool quiet(const Peak& peak)
{
    return std::max(std::abs(int(peak.low)), std::abs(int(peak.high))) <= QuietLevel;
}

} // namespace

std::vector<Look> Looks(const Peaks& peaks, std::int64_t first, std::int64_t end)
{
    std::vector<Look> looks(std::size_t(std::max<std::int64_t>(end - first, 0)), Look::Unknown);
    const std::int64_t known = std::int64_t(peaks.values.size());
    const std::int64_t scanEnd = std::min(end + PauseBins, known);
    const auto mark = [&](std::int64_t from, std::int64_t to, Look look) {
        for (std::int64_t bin = std::max(from, first); bin < std::min(to, end); ++bin)
            looks[std::size_t(bin - first)] = look;
    };
    std::int64_t bin = std::max<std::int64_t>(first - PauseBins, 0);
    while (bin < scanEnd) {
        const Peak& peak = peaks.values[std::size_t(bin)];
        if (!peak.known()) {
            ++bin;
            continue;
        }
        if (!quiet(peak)) {
            mark(bin, bin + 1, Look::Sound);
            ++bin;
            continue;
        }
        std::int64_t runEnd = bin + 1;
        while (runEnd < scanEnd && peaks.values[std::size_t(runEnd)].known() && quiet(peaks.values[std::size_t(runEnd)]))
            ++runEnd;
        mark(bin, runEnd, runEnd - bin >= PauseBins ? Look::Silence : Look::Sound);
        bin = runEnd;
    }
    return looks;
}

} // namespace waveform
