#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace platform {

// The program's number rules for text boxes that hold numbers.

// Reads the number at the start of text. Spaces, tabs and line feeds are skipped wherever
// they stand; then an optional sign, digits, an optional point with digits and an optional
// exponent (E or D, optional sign, digits) are taken up to the first character that cannot
// continue the number. Only the point separates decimals. "&H" and "&O" begin a hexadecimal
// or octal integer, signed in the narrowest of 16 or 32 bits that holds it (&HFFFF is -1,
// &H10000 is 65536) and unsigned beyond that. Text without a leading number reads as 0.
// Never fails: a magnitude beyond the largest double reads as the largest double of that sign,
// one too small for a double as 0.
double ReadNumber(QStringView text);

// The nearest integer, a tie going to the even neighbour; raises the overflow error when it
// does not fit a signed 16-bit integer.
std::int16_t IntegerFromNumber(double value);

// IntegerFromNumber(ReadNumber(text)).
std::int16_t IntegerFromText(QStringView text);

// The shortest decimal text with at most 15 significant digits: no leading blank, whole
// numbers without a separator, a leading minus for negatives, an exponent (E+15, E-05) where
// the fixed form would need more than 15 digits, and the locale's decimal separator.
QString WriteNumber(double value, const QLocale& locale = QLocale());

} // namespace platform
