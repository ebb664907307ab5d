#include "Remembered.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <algorithm>
#include <iterator>

namespace app {

namespace {

const QString Source = QStringLiteral("Remembered");
// No folder can be made in it, so what Qt would keep there is never written.
const QString Nowhere = QStringLiteral("/dev/null");
const QString FileName = QStringLiteral("horchpult.conf");
const QString RememberKey = QStringLiteral("remember");
const QString RepeatKey = QStringLiteral("repeat/seconds");
const QString FormatKey = QStringLiteral("timestamps/format");

} // namespace

Remembered::Remembered(const QString& configFolder)
    : m_folder(configFolder.isEmpty() ? QString() : configFolder + QStringLiteral("/horchpult")),
      m_on(!m_folder.isEmpty() && QFile::exists(path()))
{
    placeQtSettings();
}

void Remembered::placeQtSettings() const
{
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, m_on ? m_folder : Nowhere);
}

QString Remembered::path() const
{
    return m_folder + u'/' + FileName;
}

Choices Remembered::read() const
{
    Choices choices;
    if (!m_on)
        return choices;
    const QSettings file(path(), QSettings::IniFormat);
    bool number = false;
    const int seconds = file.value(RepeatKey).toString().toInt(&number);
    if (number && std::find(std::begin(RepeatLengths), std::end(RepeatLengths), seconds) != std::end(RepeatLengths))
        choices.repeatSeconds = seconds;
    if (const auto format = TimestampFormatNamed(file.value(FormatKey).toString()))
        choices.timestampFormat = *format;
    return choices;
}

void Remembered::turnOn(const Choices& choices)
{
    m_on = true;
    try {
        write(choices);
    } catch (const platform::Error&) {
        m_on = false;
        QFile::remove(path());
        throw;
    }
    placeQtSettings();
}

void Remembered::turnOff()
{
    if (!m_on)
        return;
    if (!QDir(m_folder).removeRecursively())
        throw platform::Error(platform::ObjectErrorNumber(ErrRemove), Source,
                              QStringLiteral("%1 cannot be removed").arg(QDir::toNativeSeparators(m_folder)));
    m_on = false;
    placeQtSettings();
}

void Remembered::keep(const Choices& choices)
{
    if (m_on)
        write(choices);
}

void Remembered::write(const Choices& choices)
{
    // Written whole each time: a file that held rubbish is replaced, not merged with.
    const auto failed = [&] {
        return platform::Error(platform::ObjectErrorNumber(ErrWrite), Source,
                               QStringLiteral("%1 cannot be written").arg(QDir::toNativeSeparators(m_folder)));
    };
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        throw failed();
    QFile::remove(path());
    QSettings file(path(), QSettings::IniFormat);
    file.setValue(RememberKey, true);
    file.setValue(RepeatKey, choices.repeatSeconds);
    file.setValue(FormatKey, TimestampFormatName(choices.timestampFormat));
    file.sync();
    if (file.status() != QSettings::NoError || !QFile::exists(path()))
        throw failed();
}

} // namespace app
