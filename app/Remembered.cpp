#include "Remembered.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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
const QString WaveformKey = QStringLiteral("waveform/shown");
const QString PositionsKey = QStringLiteral("positions");
const QString FileKey = QStringLiteral("file");
const QString SizeKey = QStringLiteral("size");
const QString ModifiedKey = QStringLiteral("modified");
const QString SecondsKey = QStringLiteral("seconds");

std::optional<qint64> WholeNumber(const QVariant& value)
{
    bool number = false;
    const qint64 read = value.toString().toLongLong(&number);
    return number ? std::optional(read) : std::nullopt;
}

} // namespace

Remembered::Remembered(const QString& configFolder)
    : m_folder(configFolder.isEmpty() ? QString() : configFolder + QStringLiteral("/horchpult")),
      m_on(!m_folder.isEmpty() && QFile::exists(path()))
{
    placeQtSettings();
    m_choices = readChoices();
    m_positions = readPositions();
}

Remembered::~Remembered()
{
    if (m_writing.valid())
        m_writing.wait();
    if (m_on && m_positionsChanged)
        WriteFile(m_folder, path(), m_choices, m_positions);
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

Choices Remembered::readChoices() const
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
    const QString shown = file.value(WaveformKey).toString();
    if (shown == QLatin1String("true") || shown == QLatin1String("false"))
        choices.waveformShown = shown == QLatin1String("true");
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
    if (m_writing.valid())
        m_writing.wait();
    if (!QDir(m_folder).removeRecursively())
        throw platform::Error(platform::ObjectErrorNumber(ErrRemove), Source,
                              QStringLiteral("%1 cannot be removed").arg(QDir::toNativeSeparators(m_folder)));
    m_on = false;
    m_positions.clear();
    m_positionsChanged = false;
    placeQtSettings();
}

void Remembered::keep(const Choices& choices)
{
    if (m_on)
        write(choices);
}

std::vector<Remembered::Position> Remembered::readPositions() const
{
    std::vector<Position> positions;
    if (!m_on)
        return positions;
    QSettings file(path(), QSettings::IniFormat);
    const int count = std::clamp(file.beginReadArray(PositionsKey), 0, static_cast<int>(KeptRecordings));
    for (int i = 0; i < count; ++i) {
        file.setArrayIndex(i);
        const QString recording = file.value(FileKey).toString();
        const std::optional<qint64> size = WholeNumber(file.value(SizeKey));
        const std::optional<qint64> modified = WholeNumber(file.value(ModifiedKey));
        bool number = false;
        const double seconds = file.value(SecondsKey).toString().toDouble(&number);
        if (recording.isEmpty() || !size || !modified || !number || !std::isfinite(seconds) || seconds < 0)
            continue;
        positions.push_back({{recording, *size, *modified}, seconds});
    }
    file.endArray();
    return positions;
}

std::optional<double> Remembered::positionOf(const Recording& recording) const
{
    const auto kept = std::find_if(m_positions.begin(), m_positions.end(),
                                   [&](const Position& position) { return position.recording == recording; });
    return kept == m_positions.end() ? std::nullopt : std::optional(kept->seconds);
}

void Remembered::keepPosition(const Recording& recording, double seconds)
{
    if (!m_on || !std::isfinite(seconds))
        return;
    std::erase_if(m_positions, [&](const Position& position) { return position.recording == recording; });
    m_positions.insert(m_positions.begin(), {recording, std::max(0.0, seconds)});
    if (m_positions.size() > KeptRecordings)
        m_positions.resize(KeptRecordings);
    m_positionsChanged = true;
}

void Remembered::writePositions(bool whilePlaying)
{
    using namespace std::chrono_literals;
    const auto now = std::chrono::steady_clock::now();
    if (!m_on || !m_positionsChanged || (whilePlaying && now - m_lastWrite < WhilePlayingEvery)
        || (m_writing.valid() && m_writing.wait_for(0s) != std::future_status::ready))
        return;
    m_positionsChanged = false;
    m_lastWrite = now;
    m_writing = std::async(std::launch::async, [folder = m_folder, path = path(), choices = m_choices,
                                                positions = m_positions] { WriteFile(folder, path, choices, positions); });
}

void Remembered::write(const Choices& choices)
{
    if (m_writing.valid())
        m_writing.wait();
    if (!WriteFile(m_folder, path(), choices, m_positions))
        throw platform::Error(platform::ObjectErrorNumber(ErrWrite), Source,
                              QStringLiteral("%1 cannot be written").arg(QDir::toNativeSeparators(m_folder)));
    m_choices = choices;
    m_positionsChanged = false;
}

bool Remembered::WriteFile(const QString& folder, const QString& path, const Choices& choices,
                           const std::vector<Position>& positions)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    // Written whole each time, beside the file and then put in its place: a file that held rubbish
    // is replaced, not merged with, and a write cut short leaves the one before.
    const QString written = path + QStringLiteral(".new");
    QFile::remove(written);
    QSettings file(written, QSettings::IniFormat);
    file.clear();
    file.setValue(RememberKey, true);
    file.setValue(RepeatKey, choices.repeatSeconds);
    file.setValue(FormatKey, TimestampFormatName(choices.timestampFormat));
    file.setValue(WaveformKey, choices.waveformShown);
    file.beginWriteArray(PositionsKey, static_cast<int>(positions.size()));
    for (int i = 0; i < static_cast<int>(positions.size()); ++i) {
        const Position& position = positions[static_cast<std::size_t>(i)];
        file.setArrayIndex(i);
        file.setValue(FileKey, position.recording.path);
        file.setValue(SizeKey, position.recording.size);
        file.setValue(ModifiedKey, position.recording.modified);
        file.setValue(SecondsKey, position.seconds);
    }
    file.endArray();
    file.sync();
    return file.status() == QSettings::NoError && std::rename(QFile::encodeName(written).constData(),
                                                              QFile::encodeName(path).constData()) == 0;
}

} // namespace app
