#pragma once

#include <cstdint>

namespace pedal {

// One pedal of a transcription foot control, as a bit; a set of pedals is their bits or'ed.
enum Pedal : std::uint8_t {
    Left = 1,
    Middle = 2,
    Right = 4,
    Top = 8, // the fourth pedal of four-pedal models
};
using Pedals = std::uint8_t;

// Every pedal, in the order changes within one report are handled.
inline constexpr Pedal AllPedals[] = {Left, Middle, Right, Top};

} // namespace pedal
