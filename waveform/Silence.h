#pragma once

#include "Peaks.h"

#include <cstdint>
#include <vector>

namespace waveform {

// How a bin of a recording is drawn: not known (not decoded yet, or not decodable), part of a
// quiet stretch, or with sound.
enum class Look : std::uint8_t { Unknown, Silence, Sound };

// The looks of bins [first, end). A bin is silence where the level stays quiet for a stretch
// long enough to be a pause, not a dip inside a word; bins beyond the peaks are unknown. Looks
// past both ends decide the bins near them, so a look never depends on where a range was cut.
std::vector<Look> Looks(const Peaks& peaks, std::int64_t first, std::int64_t end);

// How far a change to one bin may change the looks of others.
inline constexpr std::int64_t LookReach = 15;

} // namespace waveform
