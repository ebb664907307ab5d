#pragma once

#include "Pedals.h"

#include <cstdint>
#include <optional>
#include <span>

namespace pedal {

// Turns one report, as one read of the device's hidraw node returns it, into the pedals held.
// A report the model never sends (wrong length, bits it does not have) gives nothing.
using Decoder = std::optional<Pedals> (*)(std::span<const std::uint8_t> report);

// VEC/Infinity IN-USB-1, -2 and -3: two bytes, the first holds left 1, middle 2, right 4.
std::optional<Pedals> DecodeVecInfinity(std::span<const std::uint8_t> report);
// Philips foot controls ACC2310, ACC2320 and ACC2330: three bytes, the first holds left 1,
// middle 2, right 4 and, on four-pedal models, the top pedal 8.
std::optional<Pedals> DecodePhilips(std::span<const std::uint8_t> report);

} // namespace pedal
