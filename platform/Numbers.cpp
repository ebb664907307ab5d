#include "Numbers.h"

#include "Error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <string>

namespace platform {

namespace {

constexpr double Largest = std::numeric_limits<double>::max();

// A double is decided by its first 767 significant decimal digits and by whether any later
// digit is not zero, so longer inputs are cut here and the cut remembered as one sticky digit.
constexpr std::size_t MaxSignificantDigits = 800;

// Keeps an absurdly long written exponent from overflowing; any cap far beyond the range of a
// double, and of the scale that a long mantissa adds, gives the same result.
constexpr std::int64_t ExponentCap = 1'000'000'000'000'000;

// Numbers whose leading digit stands at a power of ten outside this range overflow or underflow
// every double; they are settled before the conversion sees their exponent.
constexpr std::int64_t HighestLeadingPower = 310;
constexpr std::int64_t LowestLeadingPower = -330;

class Cursor {
public:
    explicit Cursor(QStringView text) : m_text(text) {}

    // Blanks count for nothing wherever they stand; 0 marks the end.
    char16_t Peek()
    {
        while (m_pos < m_text.size() && IsBlank(m_text[m_pos].unicode()))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos].unicode() : u'\0';
    }

    void Next() { ++m_pos; }

private:
    static bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }

    QStringView m_text;
    qsizetype m_pos = 0;
};

bool IsDecimalDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

int DigitValue(char16_t c, unsigned radix)
{
    int value = -1;
    if (c >= u'0' && c <= u'9')
        value = c - u'0';
    else if (c >= u'A' && c <= u'F')
        value = c - u'A' + 10;
    else if (c >= u'a' && c <= u'f')
        value = c - u'a' + 10;
    return value >= 0 && static_cast<unsigned>(value) < radix ? value : -1;
}

// The value is read as a signed integer of the narrowest width (16 or 32 bits) that holds all
// its bits, so that &HFFFF is -1 and &H10000 is 65536.
double ReadRadixInteger(Cursor& in, unsigned radix)
{
    std::uint64_t exact = 0;
    double approximate = 0;
    bool fitsExact = true;
    for (int digit; (digit = DigitValue(in.Peek(), radix)) >= 0; in.Next()) {
        const auto d = static_cast<unsigned>(digit);
        if (fitsExact && exact <= (std::numeric_limits<std::uint64_t>::max() - d) / radix) {
            exact = exact * radix + d;
            continue;
        }
        if (fitsExact) {
            approximate = static_cast<double>(exact);
            fitsExact = false;
        }
        approximate = approximate * radix + d;
    }
    if (!fitsExact)
        return std::min(approximate, Largest);
    if (exact <= 0xFFFFu)
        return static_cast<std::int16_t>(exact);
    if (exact <= 0xFFFF'FFFFu)
        return static_cast<std::int32_t>(exact);
    return static_cast<double>(exact);
}

double ReadDecimal(Cursor& in)
{
    bool negative = false;
    if (const char16_t sign = in.Peek(); sign == u'-' || sign == u'+') {
        negative = sign == u'-';
        in.Next();
    }

    // The mantissa is the integer `digits` (without leading zeros) times ten to `exponent`.
    std::string digits;
    std::int64_t exponent = 0;
    bool anyDigit = false;
    bool cutNonZero = false;
    const auto take = [&](char16_t c, bool fraction) {
        anyDigit = true;
        const bool leadingZero = digits.empty() && c == u'0';
        if (!leadingZero && digits.size() == MaxSignificantDigits) {
            cutNonZero = cutNonZero || c != u'0';
            if (!fraction)
                ++exponent;
            return;
        }
        if (!leadingZero)
            digits.push_back(static_cast<char>(c));
        if (fraction)
            --exponent;
    };

    for (char16_t c; IsDecimalDigit(c = in.Peek()); in.Next())
        take(c, false);
    if (in.Peek() == u'.') {
        in.Next();
        for (char16_t c; IsDecimalDigit(c = in.Peek()); in.Next())
            take(c, true);
    }
    if (!anyDigit)
        return 0.0;

    if (const char16_t e = in.Peek(); e == u'E' || e == u'e' || e == u'D' || e == u'd') {
        in.Next();
        bool exponentNegative = false;
        if (const char16_t sign = in.Peek(); sign == u'-' || sign == u'+') {
            exponentNegative = sign == u'-';
            in.Next();
        }
        std::int64_t written = 0;
        for (char16_t c; IsDecimalDigit(c = in.Peek()); in.Next())
            written = std::min(written * 10 + (c - u'0'), ExponentCap);
        exponent += exponentNegative ? -written : written;
    }

    const double zero = negative ? -0.0 : 0.0;
    if (digits.empty())
        return zero;
    if (cutNonZero) {
        digits.push_back('1');
        --exponent;
    }
    const std::int64_t leadingPower = exponent + static_cast<std::int64_t>(digits.size()) - 1;
    if (leadingPower > HighestLeadingPower)
        return negative ? -Largest : Largest;
    if (leadingPower < LowestLeadingPower)
        return zero;

    digits.push_back('e');
    digits.append(std::to_string(exponent));
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = leadingPower > 0 ? Largest : 0.0;
    return negative ? -value : value;
}

} // namespace

double ReadNumber(QStringView text)
{
    Cursor in(text);
    if (in.Peek() != u'&')
        return ReadDecimal(in);
    in.Next();
    const char16_t kind = in.Peek();
    if (kind == u'H' || kind == u'h') {
        in.Next();
        return ReadRadixInteger(in, 16);
    }
    if (kind == u'O' || kind == u'o') {
        in.Next();
        return ReadRadixInteger(in, 8);
    }
    return 0.0;
}

std::int16_t IntegerFromNumber(double value)
{
    // Computed by hand rather than with rint(), which follows the floating-point environment's
    // rounding mode.
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0))
        rounded += 1.0;
    if (!(rounded >= std::numeric_limits<std::int16_t>::min()
          && rounded <= std::numeric_limits<std::int16_t>::max()))
        throw OverflowError();
    return static_cast<std::int16_t>(rounded);
}

std::int16_t IntegerFromText(QStringView text)
{
    return IntegerFromNumber(ReadNumber(text));
}

QString WriteNumber(double value, const QLocale& locale)
{
    if (value == 0.0)
        value = 0.0; // no "-0"
    // std::to_chars writes like printf's %.15G but ignores the C library's LC_NUMERIC.
    char buffer[32];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value,
                                      std::chars_format::general, 15);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer).toUpper();
    text.replace(u'.', locale.decimalPoint());
    return text;
}

} // namespace platform
