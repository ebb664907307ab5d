#pragma once

#include "Decoders.h"

#include <cstdint>
#include <span>

namespace pedal {

// A foot control this program reads: its USB ids, the name the user knows it by, its decoder.
struct Model {
    std::uint16_t vendor;
    std::uint16_t product;
    const char* name;
    Decoder decode;
};

// Every model known, in one table: discovery, the udev rule and the README follow it.
std::span<const Model> Models();
// The model with these USB ids; null for a device that is no known pedal.
const Model* FindModel(std::uint16_t vendor, std::uint16_t product);

} // namespace pedal
