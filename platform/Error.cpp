#include "Error.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

Error::Error(std::int32_t number, QString source, QString description)
    : m_number(number), m_source(std::move(source)), m_description(std::move(description)),
      m_what(QStringLiteral("%1 (%2): %3").arg(number).arg(m_source, m_description).toStdString())
{
}

QString ExecutableBaseName()
{
    if (QCoreApplication::instance() == nullptr)
        return QStringLiteral("horchpult");
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

Error OverflowError()
{
    return Error(RuntimeError::Overflow, ExecutableBaseName(), QStringLiteral("Overflow"));
}

} // namespace platform
