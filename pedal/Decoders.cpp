#include "Decoders.h"

namespace pedal {

namespace {

constexpr std::uint8_t Commanded = Left | Middle | Right;

// Both families report the pedals held as bits of the first byte, in reports of a fixed length;
// `unused` are the bits of pedals that have no command here.
template <std::size_t Length, std::uint8_t Unused>
std::optional<Pedals> DecodeFirstByte(std::span<const std::uint8_t> report)
{
    if (report.size() != Length || (report[0] & ~(Commanded | Unused)) != 0)
        return std::nullopt;
    return static_cast<Pedals>(report[0] & Commanded);
}

constexpr std::uint8_t PhilipsTopPedal = 8;

} // namespace

std::optional<Pedals> DecodeVecInfinity(std::span<const std::uint8_t> report)
{
    return DecodeFirstByte<2, 0>(report);
}

std::optional<Pedals> DecodePhilips(std::span<const std::uint8_t> report)
{
    return DecodeFirstByte<3, PhilipsTopPedal>(report);
}

} // namespace pedal
