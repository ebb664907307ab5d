#include "LastResort.h"

#include "MessageBox.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <new>

namespace platform {

LastResort::LastResort(Show show) : m_show(std::move(show))
{
    if (!m_show)
        m_show = [](const QString& text) { ShowMessageBox(nullptr, text); };
}

Error LastResort::ErrorOf(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        return error;
    } catch (const std::bad_alloc&) {
        return Error(RuntimeError::OutOfMemory, ExecutableBaseName(), QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        return Error(RuntimeError::Internal, ExecutableBaseName(),
                     QStringLiteral("Internal error: %1").arg(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return Error(RuntimeError::Internal, ExecutableBaseName(), QStringLiteral("Internal error"));
    }
}

QString LastResort::MessageText(const Error& error)
{
    return QStringLiteral("Laufzeitfehler '%1 (%2)':\n\n%3")
        .arg(error.number())
        .arg(static_cast<std::uint32_t>(error.number()), 0, 16)
        .arg(error.description());
}

void LastResort::Report(std::exception_ptr failure) noexcept
{
    try {
        const Error error = ErrorOf(failure);
        // One report is enough: the program is already on its way out.
        if (m_failed)
            return;
        m_failed = true;
        std::fprintf(stderr, "%s: %s\n", qPrintable(error.source()),
                     qPrintable(MessageText(error).replace(QStringLiteral("\n\n"), QStringLiteral(" "))));
        std::fflush(stderr);
        m_show(MessageText(error));
        QCoreApplication::exit(FailureExitCode);
    } catch (...) {
        std::_Exit(FailureExitCode);
    }
}

} // namespace platform
