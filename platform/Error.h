#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <string>

namespace platform {

// A failure as the caller sees it: a signed 32-bit number, the source that raised it and a
// description. Raised as an exception; handlers catch it before it can reach Qt's event loop.
class Error : public std::exception {
public:
    Error(std::int32_t number, QString source, QString description);

    std::int32_t number() const noexcept { return m_number; }
    const QString& source() const noexcept { return m_source; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    std::int32_t m_number;
    QString m_source;
    QString m_description;
    std::string m_what;
};

// Numbers of errors that an object defines for itself: 0x80040000 + n.
constexpr std::int32_t ObjectErrorNumber(std::int32_t n)
{
    return static_cast<std::int32_t>(0x80040000u + static_cast<std::uint32_t>(n));
}

// Run-time errors of the program itself, with the numbers and texts users of the classic
// runtime know.
namespace RuntimeError {
constexpr std::int32_t Overflow = 6;
constexpr std::int32_t OutOfMemory = 7;
constexpr std::int32_t Internal = 51;
}

// The running executable's file name without folder and extension; also the source of the
// program's own run-time errors.
QString ExecutableBaseName();

Error OverflowError();

} // namespace platform
