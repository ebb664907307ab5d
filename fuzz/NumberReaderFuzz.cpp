#include "Promise.h"

#include "platform/Error.h"
#include "platform/Numbers.h"

#include <QLocale>
#include <QString>

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

// Text written for a finite number reads back as a number that is written the same way.
void CheckWrittenNumber(double value)
{
    if (!std::isfinite(value))
        return;
    const QString written = platform::WriteNumber(value, QLocale::c());
    Promise(platform::WriteNumber(platform::ReadNumber(written), QLocale::c()) == written);
}

void CheckText(QStringView text)
{
    const double value = platform::ReadNumber(text);
    Promise(std::isfinite(value));

    // The integer is the nearest one, ties to even, and only what lies outside 16 bits overflows.
    const double nearest = std::nearbyint(value);
    const bool fits = nearest >= std::numeric_limits<std::int16_t>::min()
                      && nearest <= std::numeric_limits<std::int16_t>::max();
    try {
        const std::int16_t integer = platform::IntegerFromText(text);
        Promise(fits && integer == nearest);
    } catch (const platform::Error& error) {
        Promise(!fits && error.number() == platform::RuntimeError::Overflow);
    }

    CheckWrittenNumber(value);
}

} // namespace

// The input as UTF-8 text, as UTF-16 text, and its first eight bytes as a double.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckText(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    CheckText(units);

    if (size >= sizeof(double)) {
        std::uint64_t bits;
        std::memcpy(&bits, data, sizeof bits);
        CheckWrittenNumber(std::bit_cast<double>(bits));
    }
    return 0;
}
