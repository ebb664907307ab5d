#include "PeakCache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace waveform {

namespace {

constexpr quint32 Magic = 0x48505746; // "HPWF"
constexpr quint32 Version = 1;
constexpr auto Stream = QDataStream::Qt_6_0;
constexpr auto Checksum = QCryptographicHash::Sha1;
// Larger files hold more than a hundred hours: not ours.
constexpr qint64 MaxFileBytes = qint64{100} * 3600 * PeaksPerSecond * 2 + 64 * 1024;
const QString Suffix = QStringLiteral(".peaks");

static_assert(sizeof(Peak) == 2, "peaks are written as they are in memory");

QByteArray Encode(const RecordingKey& key, const Peaks& peaks)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(Stream);
    out << Magic << Version << key.path << key.size << key.modified
        << static_cast<qint64>(peaks.values.size()) << peaks.hasSound;
    out.writeRawData(reinterpret_cast<const char*>(peaks.values.data()),
                     static_cast<int>(peaks.values.size() * sizeof(Peak)));
    return bytes + QCryptographicHash::hash(bytes, Checksum);
}

std::optional<Peaks> Decode(const QByteArray& bytes, const RecordingKey& key)
{
    const qsizetype checksumSize = QCryptographicHash::hashLength(Checksum);
    if (bytes.size() < checksumSize)
        return std::nullopt;
    const QByteArray content = bytes.first(bytes.size() - checksumSize);
    if (QCryptographicHash::hash(content, Checksum) != bytes.last(checksumSize))
        return std::nullopt;

    QDataStream in(content);
    in.setVersion(Stream);
    quint32 magic = 0, version = 0;
    in >> magic >> version;
    if (magic != Magic || version != Version)
        return std::nullopt;
    RecordingKey stored;
    qint64 count = 0;
    Peaks peaks;
    in >> stored.path >> stored.size >> stored.modified >> count >> peaks.hasSound;
    if (in.status() != QDataStream::Ok || stored != key || count < 0 ||
        count * qint64{sizeof(Peak)} != in.device()->bytesAvailable())
        return std::nullopt;
    peaks.values.resize(static_cast<std::size_t>(count));
    in.readRawData(reinterpret_cast<char*>(peaks.values.data()), static_cast<int>(count * qint64{sizeof(Peak)}));
    return peaks;
}

} // namespace

RecordingKey RecordingKeyOf(const QString& path)
{
    const QFileInfo file(path);
    return {file.absoluteFilePath(), file.size(), file.lastModified().toMSecsSinceEpoch()};
}

QString PeakCache::pathOf(const RecordingKey& key) const
{
    const QString name = QStringLiteral("%1\n%2\n%3").arg(key.path).arg(key.size).arg(key.modified);
    return m_folder + u'/' + QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), Checksum).toHex()) + Suffix;
}

std::optional<Peaks> PeakCache::read(const RecordingKey& key) const
{
    if (m_folder.isEmpty())
        return std::nullopt;
    QFile file(pathOf(key));
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return std::nullopt;
    std::optional<Peaks> peaks = Decode(file.readAll(), key);
    if (peaks)
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return peaks;
}

void PeakCache::write(const RecordingKey& key, const Peaks& peaks) const
{
    // Interview recordings are often confidential, and so are their names.
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder) ||
        !QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
        return;
    QSaveFile file(pathOf(key));
    if (file.open(QIODevice::WriteOnly) && file.write(Encode(key, peaks)) >= 0 && file.commit())
        trim();
}

void PeakCache::trim() const
{
    // Newest first; what a kill left of a write counts too, and goes in time.
    const QFileInfoList files = QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Time);
    qint64 total = 0;
    for (const QFileInfo& file : files) {
        total += file.size();
        if (total > MaxBytes)
            QFile::remove(file.absoluteFilePath());
    }
}

void PeakCache::remove() const
{
    if (!m_folder.isEmpty())
        QDir(m_folder).removeRecursively();
}

} // namespace waveform
