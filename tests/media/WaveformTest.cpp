// The waveform read with FFmpeg from media made at test time: its peaks where the sound is known,
// the same whether split over threads or not, kept between runs, stopped at once, and never a
// crash on a broken file.

#include "TestMedia.h"

#include "waveform/Waveform.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace {

using waveform::Peak;
using waveform::Waveform;
using Reading = Waveform::Reading;

// 1 s of silence, 2 s of a 1 kHz tone at half scale, 0.5 s of silence, 1 s at a quarter, 1 s of
// silence.
const QString Steps = QStringLiteral(
    "-f lavfi -i aevalsrc=exprs=sin(2*PI*1000*t)*(0.5*between(t\\,1\\,3)+0.25*between(t\\,3.5\\,4.5)):s=48000:d=5.5 ");
// Two minutes of a tone swelling and fading with bursts of noise, and another tone beside it.
const QString Varying = QStringLiteral(
    "-f lavfi -i aevalsrc=exprs=0.6*sin(2*PI*220*t)*(0.5+0.5*sin(2*PI*t/7))+0.3*(random(0)-0.5)*gt(mod(t\\,5)\\,4)"
    "|0.4*sin(2*PI*330*t):s=44100:d=120 ");

struct Coding {
    const char* name;
    const char* extension;
    const char* arguments;
    // ADTS tells nothing of the encoder's delay: its sound comes 1024 samples late.
    int delayBins = 0;
    friend void PrintTo(const Coding& coding, std::ostream* out) { *out << coding.name; }
};

// FFmpeg's AAC decoder fills the bands coded as noise from a generator that runs on from the
// file's start, so those bands differ wherever decoding starts; its encoder is told to code none.
const Coding Codings[] = {
    {"MP3", "mp3", "-c:a libmp3lame -b:a 96k"},  {"WAV", "wav", "-c:a pcm_s16le"},
    {"FLAC", "flac", "-c:a flac"},                {"OpusInOgg", "opus", "-c:a libopus -b:a 64k"},
    {"AacInMp4", "m4a", "-c:a aac -aac_pns 0 -b:a 96k"},
    {"AacInAdts", "aac", "-c:a aac -aac_pns 0 -b:a 96k", 2},
    {"VorbisInMatroska", "mka", "-c:a libvorbis"},
    {"VideoWithAac", "mp4", "-f lavfi -i testsrc2=size=160x120:rate=10 -shortest -c:v libx264 -preset ultrafast -c:a aac -aac_pns 0"},
};

QString Made(const char* name, const Coding& coding, const QString& sound)
{
    const QByteArray file = QByteArray(name) + '.' + coding.extension;
    return media::Made(file.constData(), sound + QLatin1String(coding.arguments));
}

const waveform::Peaks& ReadWhole(Waveform& waveform, const QString& path)
{
    waveform.open(path);
    EXPECT_TRUE(media::WaitUntil([&] { return waveform.reading() != Reading::UnderWay; }, 60000))
        << path.toStdString() << " was still being read after a minute";
    return waveform.peaks();
}

bool AnyKnown(const std::vector<Peak>& values, std::size_t from, std::size_t to)
{
    return std::any_of(values.begin() + from, values.begin() + to, [](Peak peak) { return peak.known(); });
}

using WaveformPeaks = ::testing::TestWithParam<Coding>;

TEST_P(WaveformPeaks, AreTheSoundsLevelsWithEdgesWithinOneBin)
{
    struct Step {
        int from, to, level;
    };
    const Step steps[] = {{0, 100, 0}, {100, 300, 64}, {300, 350, 0}, {350, 450, 32}, {450, 550, 0}};
    Waveform waveform;
    const waveform::Peaks peaks = ReadWhole(waveform, Made("steps", GetParam(), Steps));
    ASSERT_EQ(waveform.reading(), Reading::Complete);
    // Encoders may pad the end by up to a frame.
    ASSERT_GE(peaks.values.size(), 550u);
    ASSERT_LE(peaks.values.size(), 555u);
    // Lossy coding leaves a little noise on the silence and the tone.
    const int slack = GetParam().name == std::string("WAV") || GetParam().name == std::string("FLAC") ? 1 : 4;
    for (const Step& step : steps) {
        for (int bin = step.from + GetParam().delayBins + 1; bin < step.to + GetParam().delayBins - 1; ++bin) {
            EXPECT_NEAR(peaks.values[bin].high, step.level, slack) << "bin " << bin;
            EXPECT_NEAR(peaks.values[bin].low, -step.level, slack) << "bin " << bin;
        }
    }
}

TEST_P(WaveformPeaks, SplitOverThreadsAreThoseReadFromTheStart)
{
    const QString path = Made("varying", GetParam(), Varying);
    ASSERT_FALSE(path.isEmpty());
    Waveform whole(1), split(4);
    const std::vector<Peak>& expected = ReadWhole(whole, path).values;
    const std::vector<Peak>& got = ReadWhole(split, path).values;
    EXPECT_EQ(whole.reading(), Reading::Complete);
    EXPECT_EQ(split.reading(), Reading::Complete);
    EXPECT_NEAR(static_cast<double>(expected.size()), 12000, 5);
    ASSERT_EQ(got.size(), expected.size());
    const auto differ = std::mismatch(expected.begin(), expected.end(), got.begin());
    EXPECT_TRUE(differ.first == expected.end()) << "they differ first at bin " << differ.first - expected.begin();
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](Peak peak) { return peak.known(); }));
}

INSTANTIATE_TEST_SUITE_P(Codings, WaveformPeaks, ::testing::ValuesIn(Codings),
                         [](const auto& test) { return std::string(test.param.name); });

class WaveformCache : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::copy(Made("steps", Codings[1], Steps), recording));
        Waveform waveform;
        reference = ReadWhole(waveform, recording).values;
    }

    // Opens the recording as a new run would; true when it was there at once, without reading.
    bool shownAtOnce(const QString& cacheFolder)
    {
        Waveform waveform;
        waveform.setCacheFolder(cacheFolder);
        waveform.open(recording);
        const bool atOnce = waveform.reading() == Reading::Complete;
        EXPECT_EQ(ReadWhole(waveform, recording).values, reference);
        EXPECT_FALSE(waveform.error());
        return atOnce;
    }

    QString cacheFile() const
    {
        const QStringList files = QDir(cache).entryList(QDir::Files);
        return files.size() == 1 ? cache + u'/' + files[0] : QString();
    }

    QTemporaryDir folder;
    const QString recording = folder.filePath(QStringLiteral("steps.wav"));
    const QString cache = folder.filePath(QStringLiteral("cache"));
    std::vector<Peak> reference;
};

TEST_F(WaveformCache, ANewRunShowsTheWaveformWithoutReading)
{
    EXPECT_FALSE(shownAtOnce(cache));
    EXPECT_TRUE(shownAtOnce(cache));
}

TEST_F(WaveformCache, AChangedRecordingIsReadAgain)
{
    shownAtOnce(cache);
    QFile file(recording);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_FALSE(shownAtOnce(cache));
    EXPECT_TRUE(shownAtOnce(cache));
}

TEST_F(WaveformCache, DamagedFilesAreReadAgainWithoutAMessage)
{
    const std::pair<const char*, std::function<QByteArray(QByteArray)>> damages[] = {
        {"cut short", [](QByteArray bytes) { return bytes.first(bytes.size() / 2); }},
        {"another version",
         [](QByteArray bytes) {
             bytes[7] = 2;
             bytes.chop(20);
             return bytes + QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
         }},
        {"random bytes", [](QByteArray bytes) {
             QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
             return bytes;
         }}};
    shownAtOnce(cache);
    for (const auto& [name, damage] : damages) {
        QFile file(cacheFile());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite)) << name;
        const QByteArray damaged = damage(file.readAll());
        file.resize(0);
        file.write(damaged);
        file.close();
        EXPECT_FALSE(shownAtOnce(cache)) << name;
        EXPECT_TRUE(shownAtOnce(cache)) << name << ": not written again";
    }
}

TEST_F(WaveformCache, AFolderThatCannotBeWrittenKeepsNothing)
{
    const QString underAFile = recording + QStringLiteral("/cache");
    EXPECT_FALSE(shownAtOnce(underAFile));
    EXPECT_FALSE(shownAtOnce(underAFile));
}

TEST_F(WaveformCache, RemovingItRemovesItsFolder)
{
    Waveform waveform;
    waveform.setCacheFolder(cache);
    ReadWhole(waveform, recording);
    // The file is written beside the window's work, and may still be under way.
    waveform.removeCache();
    EXPECT_FALSE(QDir(cache).exists());
}

TEST_F(WaveformCache, ThisRunShowsEarlierRecordingsAgainAtOnce)
{
    Waveform waveform;
    ReadWhole(waveform, recording);
    ReadWhole(waveform, Made("varying", Codings[0], Varying));
    waveform.open(recording);
    EXPECT_EQ(waveform.reading(), Reading::Complete);
    EXPECT_EQ(waveform.peaks().values, reference);
}

TEST(WaveformReading, ShowsPeaksSoonAndStopsAtOnceForAnother)
{
    const QString longer = media::Made("tone-30min.mp3", QStringLiteral("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1800 "
                                                                       "-c:a libmp3lame -b:a 8k"));
    const QString other = Made("steps", Codings[1], Steps);
    Waveform waveform;
    QElapsedTimer clock;
    clock.start();
    waveform.open(longer);
    ASSERT_TRUE(media::WaitUntil([&] { return AnyKnown(waveform.peaks().values, 0, waveform.peaks().values.size()); }, 300))
        << "no peaks within 300 ms";
    media::Pump(100);
    ASSERT_EQ(waveform.reading(), Reading::UnderWay);
    clock.restart();
    waveform.open(other);
    EXPECT_LT(clock.elapsed(), 100) << "stopping took too long";
    ReadWhole(waveform, other);
    EXPECT_EQ(waveform.peaks().values.size(), 550u) << "peaks of the other recording came in";

    // Quitting waits for the readers' next packet, which at their priority comes at once on a
    // quiet machine, later beside other tests.
    auto reading = std::make_unique<Waveform>();
    reading->open(longer);
    media::Pump(100);
    clock.restart();
    reading.reset();
    EXPECT_LT(clock.elapsed(), 5000) << "ending hung";
}

TEST(WaveformReading, BrokenFilesEndTheReadingKeepingWhatWasRead)
{
    QFile good(Made("varying", Codings[0], Varying));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray mp3 = good.readAll();
    QByteArray noise(64 * 1024, 0);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    QByteArray garbled = mp3;
    garbled.replace(mp3.size() / 2, noise.size(), noise);
    struct Broken {
        const char* name;
        QByteArray bytes;
        std::optional<Reading> ending;
        // Seconds: all known up to the first, some from the second on.
        int knownUntil = 0, someFrom = 0;
    };
    const Broken broken[] = {{"empty", {}, Reading::Failed},
                             {"random bytes", noise, std::nullopt},
                             {"cut in half", mp3.first(mp3.size() / 2), Reading::Incomplete, 59},
                             {"garbled in the middle", garbled, Reading::Incomplete, 59, 70}};
    QTemporaryDir folder;
    for (const Broken& file : broken) {
        const QString path = folder.filePath(QString::fromLatin1(file.name));
        QFile written(path);
        ASSERT_TRUE(written.open(QIODevice::WriteOnly) && written.write(file.bytes) == file.bytes.size());
        written.close();
        Waveform waveform;
        const std::vector<Peak>& values = ReadWhole(waveform, path).values;
        if (file.ending) {
            EXPECT_EQ(waveform.reading(), *file.ending) << file.name;
        }
        if (file.knownUntil == 0)
            continue;
        ASSERT_GE(values.size(), 12000u) << file.name;
        EXPECT_TRUE(std::all_of(values.begin(), values.begin() + file.knownUntil * 100, std::mem_fn(&Peak::known)))
            << file.name;
        if (file.someFrom > 0) {
            EXPECT_TRUE(AnyKnown(values, file.someFrom * 100, values.size())) << file.name << ": stopped at the damage";
        }
    }
}

} // namespace
