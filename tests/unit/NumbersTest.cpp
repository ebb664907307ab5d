#include "platform/Error.h"
#include "platform/Numbers.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <string_view>

using platform::IntegerFromNumber;
using platform::IntegerFromText;
using platform::ReadNumber;
using platform::WriteNumber;

namespace {

constexpr double Largest = std::numeric_limits<double>::max();
constexpr double Smallest = std::numeric_limits<double>::denorm_min();
constexpr double Infinity = std::numeric_limits<double>::infinity();

const QLocale Point = QLocale::c();
const QLocale English(QLocale::English);
const QLocale German(QLocale::German);

// Quoted, with every unit outside printable ASCII as \uXXXX, so that blanks and stray code
// units stay visible in failure messages.
std::string Shown(QStringView text)
{
    std::string shown = "\"";
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit >= 0x20 && unit < 0x7F) {
            shown += static_cast<char>(unit);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(unit));
            shown += code;
        }
    }
    return shown + '"';
}

std::string Exact(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The integer, or nothing where the conversion raises the overflow error.
std::optional<int> IntegerOrOverflow(const std::function<std::int16_t()>& convert)
{
    try {
        return convert();
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.number(), platform::RuntimeError::Overflow);
        EXPECT_EQ(error.description(), QStringLiteral("Overflow"));
        return std::nullopt;
    }
}

// A box rewrites its text with the number read from it; each rewrite that changes the text
// triggers the next one.
struct Settling {
    QString text;
    int rewrites = 0;
};

Settling Settle(const QString& typed, const QLocale& locale)
{
    Settling settling{typed};
    while (settling.rewrites < 5) {
        const QString next = WriteNumber(ReadNumber(settling.text), locale);
        if (next == settling.text)
            break;
        settling.text = next;
        ++settling.rewrites;
    }
    return settling;
}

struct ReadCase {
    const char16_t* text;
    double expected;
};

void ExpectReads(const std::initializer_list<ReadCase>& cases)
{
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ReadNumber(text), expected) << "reading " << Shown(text);
}

TEST(ReadNumber, TakesTheLeadingDecimalNumberWithBlanksAnywhere)
{
    ExpectReads({
        {u"", 0},           {u"abc", 0},          {u"x3", 0},           {u"12", 12},
        {u"02", 2},         {u"3x", 3},           {u"1 2", 12},         {u"- 3", -3},
        {u"+7", 7},         {u" 3 sec", 3},       {u"  90 sec", 90},    {u"\t4\n2", 42},
        {u"1.5E 1", 15},    {u"1.5E1", 15},       {u"1.5E2", 150},      {u"1 . 5 e - 1", 0.15},
        {u"2D3", 2000},     {u"2d-3", 0.002},     {u"2e+2", 200},       {u"1e-5", 1e-5},
        {u"1E", 1},         {u"1E+", 1},          {u"1E-", 1},          {u"1Ex", 1},
        {u"E5", 0},         {u".E5", 0},          {u"12,5", 12},        {u"2.", 2},
        {u".5", 0.5},       {u"-.5", -0.5},       {u".", 0},            {u"-", 0},
        {u"--3", 0},        {u"+-3", 0},          {u"1.2.3", 1.2},      {u"1e2e3", 100},
        {u"1E2.5", 100},    {u"0.1", 0.1},        {u"-5", -5},          {u"1\r2", 1},
        {u"1\u00A02", 1},   {u"\uFF11", 0},       {u"%5", 0},
        {u"123456789012345678901234567890", 1.2345678901234568e29},
        {u"9007199254740993", 9007199254740992.0},
    });
}

TEST(ReadNumber, ReadsHexadecimalAndOctalAsSignedIntegersOfTheNarrowestWidth)
{
    ExpectReads({
        {u"&HFFFF", -1},
        {u"&hffff", -1},
        {u"&H7FFF", 32767},
        {u"&H8000", -32768},
        {u"&H0000FFFF", -1},
        {u"&H10000", 65536},
        {u"&HFFFFFFFF", -1},
        {u"&H80000000", -2147483648.0},
        {u"&H100000000", 4294967296.0},
        {u"&HFFFFFFFFFFFFFFFF", 18446744073709551615.0},
        {u"&H10000000000000000", 18446744073709551616.0},
        {u"&H1E2", 0x1E2},
        {u"&H1.5", 1},
        {u"&H1G", 1},
        {u" & H 1F", 31},
        {u"&H", 0},
        {u"&O177777", -1},
        {u"&o17", 15},
        {u"&O200000", 65536},
        {u"&O37777777777", -1},
        {u"&O78", 7},
        {u"&O8", 0},
        {u"&X1", 0},
        {u"&1", 0},
        {u"-&H10", 0},
    });
}

TEST(ReadNumber, SettlesExtremeAndVeryLongTextsWithoutFailing)
{
    using namespace Qt::StringLiterals;
    const int Long = 100000;
    const QString zeros(Long, u'0');
    // 2^53 + 1 lies halfway between two doubles; only a digit far behind it breaks the tie.
    const QString tie = u"9007199254740993"_s;
    const double below = 9007199254740992.0;
    const double above = 9007199254740994.0;
    const struct {
        const char* label;
        QString text;
        double expected;
    } cases[] = {
        {"beyond the largest double", u"1E400"_s, Largest},
        {"negative beyond the largest", u"-1E400"_s, -Largest},
        {"largest as written", u"1.79769313486232E+308"_s, Largest},
        {"negative largest as written", u"-1.79769313486232E+308"_s, -Largest},
        {"smallest as written", u"4.94065645841247E-324"_s, Smallest},
        {"rounding up to the smallest", u"2.5E-324"_s, Smallest},
        {"below the smallest", u"2E-324"_s, 0},
        {"far below the smallest", u"1E-400"_s, 0},
        {"zero with a huge exponent", u"0E999999999999999999"_s, 0},
        {"exponent of 100k nines", u"1E"_s + QString(Long, u'9'), Largest},
        {"negative exponent of 100k nines", u"1E-"_s + QString(Long, u'9'), 0},
        {"one and 100k zeros", u"1"_s + zeros, Largest},
        {"100k leading zeros", zeros + u"42"_s, 42},
        {"100k blanks", QString(Long, u' ') + u"5"_s, 5},
        {"100k threes after the point", u"0."_s + QString(Long, u'3'), 1.0 / 3},
        {"scale of 100k zeros taken back", u"1"_s + zeros + u"E-100000"_s, 1},
        {"100k fraction zeros taken back", u"0."_s + zeros + u"1E100001"_s, 1},
        {"tie with 100k zeros goes to even", tie + zeros + u"E-100000"_s, below},
        {"tie broken by a far integer digit", tie + zeros + u"1E-100001"_s, above},
        {"tie broken by a far fraction digit", tie + u"."_s + zeros + u"1"_s, above},
        {"hexadecimal of 100k digits", u"&H"_s + QString(Long, u'F'), Largest},
        {"octal of 100k digits", u"&O"_s + QString(Long, u'7'), Largest},
    };
    for (const auto& [label, text, expected] : cases)
        EXPECT_EQ(ReadNumber(text), expected) << label;
}

TEST(IntegerConversion, RoundsTiesToEvenAndRaisesOverflowOutsideSigned16Bits)
{
    constexpr std::nullopt_t Overflow = std::nullopt;
    const struct {
        double value;
        std::optional<int> expected;
    } numbers[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {-3.5, -4},
        {0.49999999999999994, 0}, {2.4999999999999996, 2}, {2.5000000000000004, 3},
        {-2.5000000000000004, -3}, {-0.0, 0}, {1e-320, 0}, {32767, 32767}, {32767.4999, 32767},
        {32767.5, Overflow}, {32768, Overflow}, {-32768, -32768}, {-32768.5, -32768},
        {-32768.50000001, Overflow}, {-32769, Overflow}, {65535, Overflow},
        {65536, Overflow}, {-65535, Overflow}, {4503599627370495.5, Overflow},
        {1e300, Overflow}, {-Largest, Overflow}, {Infinity, Overflow},
        {-Infinity, Overflow}, {std::numeric_limits<double>::quiet_NaN(), Overflow},
    };
    for (const auto& [value, expected] : numbers)
        EXPECT_EQ(IntegerOrOverflow([v = value] { return IntegerFromNumber(v); }), expected)
            << "converting " << Exact(value);

    const struct {
        const char16_t* text;
        std::optional<int> expected;
    } texts[] = {
        {u"", 0}, {u" 3 sec", 3}, {u"2.5", 2}, {u"3.5", 4}, {u"-32768.5", -32768}, {u"&HFFFF", -1},
        {u"&H8000", -32768}, {u"40000", Overflow}, {u"32767.5", Overflow},
        {u"&H10000", Overflow}, {u"1E5", Overflow},
    };
    for (const auto& [text, expected] : texts)
        EXPECT_EQ(IntegerOrOverflow([t = text] { return IntegerFromText(t); }), expected)
            << "converting " << Shown(text);
}

TEST(WriteNumber, WritesAtMost15SignificantDigitsWithTheLocalesSeparator)
{
    const struct {
        double value;
        const char* point;
        const char* comma;
    } cases[] = {
        {0, "0", "0"},
        {-0.0, "0", "0"},
        {2, "2", "2"},
        {-5, "-5", "-5"},
        {100, "100", "100"},
        {2.5, "2.5", "2,5"},
        {-2.5, "-2.5", "-2,5"},
        {0.1, "0.1", "0,1"},
        {0.1 + 0.2, "0.3", "0,3"},
        {61.3 + 2.0, "63.3", "63,3"},
        {1.0 / 3, "0.333333333333333", "0,333333333333333"},
        {-2.0 / 3, "-0.666666666666667", "-0,666666666666667"},
        {0.0001, "0.0001", "0,0001"},
        {0.00001, "1E-05", "1E-05"},
        {1.5e-5, "1.5E-05", "1,5E-05"},
        {123456789012345, "123456789012345", "123456789012345"},
        {99999999999999.9, "99999999999999.9", "99999999999999,9"},
        {999999999999999.5, "1E+15", "1E+15"},
        {1e15, "1E+15", "1E+15"},
        {1234567890123456, "1.23456789012346E+15", "1,23456789012346E+15"},
        {1e100, "1E+100", "1E+100"},
        {-Largest, "-1.79769313486232E+308", "-1,79769313486232E+308"},
        {Smallest, "4.94065645841247E-324", "4,94065645841247E-324"},
    };
    for (const auto& [value, point, comma] : cases) {
        EXPECT_EQ(WriteNumber(value, Point).toStdString(), point) << "writing " << Exact(value);
        EXPECT_EQ(WriteNumber(value, English).toStdString(), point) << "writing " << Exact(value);
        EXPECT_EQ(WriteNumber(value, German).toStdString(), comma) << "writing " << Exact(value);
    }
}

TEST(NumberRewrite, SettlesTypedTextsWithinTwoRewrites)
{
    const struct {
        const char16_t* typed;
        const char* point;
        const char* comma;
    } cases[] = {
        {u"", "0", "0"},
        {u"x", "0", "0"},
        {u"-", "0", "0"},
        {u"02", "2", "2"},
        {u"2.", "2", "2"},
        {u"3x", "3", "3"},
        {u"-3", "-3", "-3"},
        {u" 3 sec", "3", "3"},
        {u"  90 sec", "90", "90"},
        {u"1.5E1", "15", "15"},
        {u"1.5E2", "150", "150"},
        {u"12,5", "12", "12"},
        {u"2.5", "2.5", "2"},
        {u"-0.75", "-0.75", "0"},
        {u"1.5E-5", "1.5E-05", "1"},
        {u"1E400", "1.79769313486232E+308", "1"},
        {u"40000", "40000", "40000"},
    };
    for (const auto& [typed, point, comma] : cases) {
        const Settling onPoint = Settle(QString::fromUtf16(typed), Point);
        EXPECT_EQ(onPoint.text.toStdString(), point) << "typing " << Shown(typed);
        EXPECT_LE(onPoint.rewrites, 1) << "typing " << Shown(typed);
        const Settling onComma = Settle(QString::fromUtf16(typed), German);
        EXPECT_EQ(onComma.text.toStdString(), comma) << "typing " << Shown(typed) << " in German";
        EXPECT_LE(onComma.rewrites, 2) << "typing " << Shown(typed) << " in German";
    }
}

TEST(NumberRewrite, IgnoresTheCLibrarysNumericLocale)
{
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "the C library has no German locale here";
    const double read = ReadNumber(u"2.5");
    const QString written = WriteNumber(2.5, Point);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(read, 2.5);
    EXPECT_EQ(written.toStdString(), "2.5");
}

int SignificantDigits(const QString& text)
{
    int count = 0;
    bool started = false;
    for (const QChar c : text) {
        if (c == u'E')
            break;
        started = started || (c >= u'1' && c <= u'9');
        count += started && c.isDigit();
    }
    return count;
}

testing::AssertionResult WritesReadsBackAndSettles(double x)
{
    const QString written = WriteNumber(x, Point);
    if (SignificantDigits(written) > 15)
        return testing::AssertionFailure() << Exact(x) << " written as " << Shown(written);
    const double back = ReadNumber(written);
    if (!(std::abs(back - x) <= 5.3e-15 * std::abs(x) + Smallest))
        return testing::AssertionFailure()
               << Exact(x) << " written as " << Shown(written) << " reads back as " << Exact(back);
    for (const QLocale* locale : {&Point, &English, &German}) {
        const int allowed = locale->decimalPoint() == QStringLiteral(".") ? 0 : 2;
        const Settling settling = Settle(WriteNumber(x, *locale), *locale);
        if (settling.rewrites > allowed)
            return testing::AssertionFailure()
                   << Exact(x) << " in " << locale->name().toStdString() << " took "
                   << settling.rewrites << " rewrites, ending at " << Shown(settling.text);
    }
    return testing::AssertionSuccess();
}

// The decimal number grammar as a regular expression over the text without blanks, converted
// by the C library; nothing for the hexadecimal and octal forms.
std::optional<double> ExpectedDecimal(const QString& text)
{
    static const std::regex number(R"([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([EeDd][+-]?[0-9]+)?)");
    std::string compact;
    for (const QChar c : text)
        if (c != u' ' && c != u'\t' && c != u'\n')
            compact += c.toLatin1();
    if (compact.starts_with('&'))
        return std::nullopt;
    std::smatch match;
    if (!std::regex_search(compact, match, number, std::regex_constants::match_continuous))
        return 0;
    std::string found = match.str();
    for (char& c : found)
        if (c == 'D' || c == 'd')
            c = 'e';
    const double value = std::strtod(found.c_str(), nullptr);
    return std::isinf(value) ? std::copysign(Largest, value) : value;
}

testing::AssertionResult ReadsAndSettles(const QString& text)
{
    const double value = ReadNumber(text);
    if (!std::isfinite(value))
        return testing::AssertionFailure() << Shown(text) << " reads as " << Exact(value);
    const Settling onPoint = Settle(text, Point);
    const Settling onComma = Settle(text, German);
    if (onPoint.rewrites > 1 || onComma.rewrites > 2)
        return testing::AssertionFailure() << Shown(text) << " took " << onPoint.rewrites
                                           << " rewrites with a point, " << onComma.rewrites
                                           << " with a comma";
    return testing::AssertionSuccess();
}

QString RandomText(std::mt19937_64& random, bool numberLike, int maxLength)
{
    static constexpr std::u16string_view Alphabet = u"0123456789012345678901234567890123456789"
                                                    u"+-+-..,eEdDhHoO&&  \t\n\r";
    const auto length = static_cast<qsizetype>(random() % (maxLength + 1));
    QString text(length, Qt::Uninitialized);
    for (QChar& c : text)
        c = numberLike ? QChar(Alphabet[random() % Alphabet.size()])
                       : QChar(static_cast<char16_t>(random()));
    return text;
}

TEST(NumberRewrite, RandomNumbersAndTextsSettleAndNeverFail)
{
    std::mt19937_64 random(0x486f7263687075ULL);

    for (int i = 0; i < 200000; ++i) {
        double x = std::bit_cast<double>(random());
        if (i % 4 == 0)
            x = static_cast<double>(static_cast<std::int64_t>(random() % 2000001) - 1000000)
                / std::pow(10.0, static_cast<double>(random() % 8));
        if (std::isfinite(x)) {
            ASSERT_TRUE(WritesReadsBackAndSettles(x));
        }
    }

    for (int i = 0; i < 100000; ++i) {
        const bool numberLike = i % 2 == 0;
        const QString text = RandomText(random, numberLike, i % 500 < 2 ? 20000 : 24);
        ASSERT_TRUE(ReadsAndSettles(text));
        if (!numberLike || text.size() > 24)
            continue;
        if (const auto expected = ExpectedDecimal(text)) {
            ASSERT_EQ(ReadNumber(text), *expected) << "reading " << Shown(text);
        }
    }
}

} // namespace
