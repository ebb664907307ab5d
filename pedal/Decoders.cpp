#include "Decoders.h"

namespace pedal {

namespace {

// Both families report the pedals held as bits of the first byte, in reports of a fixed length;
// `has` are the bits of the pedals the family has.
template <std::size_t Length, std::uint8_t Has>
std::optional<Pedals> DecodeFirstByte(std::span<const std::uint8_t> report)
{
    if (report.size() != Length || (report[0] & ~Has) != 0)
        return std::nullopt;
    return static_cast<Pedals>(report[0]);
}

} // namespace

std::optional<Pedals> DecodeVecInfinity(std::span<const std::uint8_t> report)
{
    return DecodeFirstByte<2, Left | Middle | Right>(report);
}

std::optional<Pedals> DecodePhilips(std::span<const std::uint8_t> report)
{
    return DecodeFirstByte<3, Left | Middle | Right | Top>(report);
}

} // namespace pedal
