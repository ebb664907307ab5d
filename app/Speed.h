#pragma once

#include <cstdint>

namespace app {

constexpr std::int16_t SlowestStep = -9;
constexpr std::int16_t FastestStep = 9;

// The player's rate for a speed step: step x 0.1 + 1.0 in double precision, 1.0 being normal.
constexpr double RateOfStep(std::int16_t step)
{
    return static_cast<double>(step) * 0.1 + 1.0;
}

} // namespace app
