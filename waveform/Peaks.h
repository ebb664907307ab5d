#pragma once

#include <cstdint>
#include <vector>

namespace waveform {

// The lowest and the highest sample of 10 ms of a recording's sound, over all its channels, as
// -127..127 of full scale. A stretch not (yet) decoded is unknown.
struct Peak {
    std::int8_t low = 1;
    std::int8_t high = 0;
    bool known() const { return low <= high; }
    bool operator==(const Peak&) const = default;
};

inline constexpr int PeaksPerSecond = 100;

// The waveform of one recording as far as it is known: one peak per 10 ms from its start.
struct Peaks {
    std::vector<Peak> values;
    // False for a recording without sound: then there are no values.
    bool hasSound = true;
};

} // namespace waveform
