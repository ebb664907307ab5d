#include "Models.h"

#include <algorithm>

namespace pedal {

namespace {
const Model Table[] = {
    {0x05f3, 0x00ff, "VEC Infinity IN-USB-1/-2/-3", DecodeVecInfinity},
    {0x0911, 0x1844, "Philips ACC2310/ACC2320", DecodePhilips},
    {0x0911, 0x091a, "Philips ACC2330", DecodePhilips},
};
} // namespace

std::span<const Model> Models()
{
    return Table;
}

const Model* FindModel(std::uint16_t vendor, std::uint16_t product)
{
    const auto found = std::find_if(std::begin(Table), std::end(Table), [&](const Model& model) {
        return model.vendor == vendor && model.product == product;
    });
    return found == std::end(Table) ? nullptr : found;
}

} // namespace pedal
