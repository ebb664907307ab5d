#include "PlayerFixture.h"

#include "player/PlayerErrors.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <unistd.h>

using player::MediaPlayer;
namespace PlayerError = player::PlayerError;
using States = std::vector<std::int32_t>;

using MpvPlayerOpening = PlayerTest;

TEST_F(MpvPlayerOpening, EachFormatOpensReadyWithoutStarting)
{
    for (const media::Format& format : media::Formats()) {
        open(format);
        EXPECT_EQ(player->URL(), media::Path(format));
        EXPECT_EQ(player->playState(), MediaPlayer::Ready) << format.name;
        media::Pump(300);
        EXPECT_EQ(player->playState(), MediaPlayer::Ready) << format.name << " started by itself";
        EXPECT_EQ(player->currentPosition(), 0.0) << format.name;
        expectPlaysOnFrom(0, 300, format.name);
    }
    EXPECT_EQ(raised, (States{MediaPlayer::Ready, MediaPlayer::Playing, MediaPlayer::Ready, MediaPlayer::Playing,
                              MediaPlayer::Ready, MediaPlayer::Playing, MediaPlayer::Ready, MediaPlayer::Playing}));
}

TEST_F(MpvPlayerOpening, AutoStartPlaysAtOnce)
{
    open(media::Wav(), true);
    EXPECT_EQ(player->playState(), MediaPlayer::Playing);
    EXPECT_EQ(raised, States{MediaPlayer::Playing});
    media::Pump(500);
    EXPECT_GT(player->currentPosition(), 0.3);
}

TEST_F(MpvPlayerOpening, PauseRightAfterOpeningChangesNothing)
{
    open(media::Formats()[1]);
    EXPECT_NO_THROW(player->pause());
    media::Pump(200);
    EXPECT_EQ(player->playState(), MediaPlayer::Ready);
    EXPECT_EQ(player->currentPosition(), 0.0);
    EXPECT_EQ(raised, States{MediaPlayer::Ready});
    expectPlaysOnFrom(0, 300);
}

TEST_F(MpvPlayerOpening, WithoutMediumPlayAndPauseDoNothingAndSeekingFails)
{
    EXPECT_NO_THROW(player->play());
    EXPECT_NO_THROW(player->pause());
    EXPECT_EQ(player->playState(), MediaPlayer::Undefined);
    EXPECT_TRUE(raised.empty());
    EXPECT_EQ(ErrorNumberOf([&] { player->setCurrentPosition(5); }), PlayerError::NoMedium);
    EXPECT_EQ(player->currentPosition(), 0.0);
}

struct BadFile {
    friend void PrintTo(const BadFile& file, std::ostream* out) { *out << file.name; }

    const char* name;
    // Makes the file in the folder and returns its path.
    QString (*make)(const QDir& folder);
    bool needsUnprivilegedUser = false;
};

namespace {

QString writeFile(const QDir& folder, const char* name, const QByteArray& content)
{
    const QString path = folder.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}

const BadFile BadFiles[] = {
    {"TextNamedMp3", [](const QDir& d) { return writeFile(d, "text.mp3", QByteArray("Dies ist keine Aufnahme.\n").repeated(40)); }},
    {"EmptyFile", [](const QDir& d) { return writeFile(d, "empty.mp3", {}); }},
    {"RandomBytes",
     [](const QDir& d) {
         QByteArray bytes(64 * 1024, '\0');
         QRandomGenerator random(7);
         for (char& byte : bytes)
             byte = static_cast<char>(random.bounded(256));
         return writeFile(d, "random.mp3", bytes);
     }},
    {"PictureNamedMp3",
     [](const QDir& d) {
         const QString path = d.filePath(QStringLiteral("picture.mp3"));
         const bool made = media::Ffmpeg(QString::fromLatin1("-f lavfi -i testsrc=size=64x64 -frames:v 1 -c:v png -f image2 -update 1")
                                             .split(u' ') << path);
         return made ? path : QString();
     }},
    {"Folder",
     [](const QDir& d) {
         // With media inside: a folder must not be played as a list of its files.
         d.mkpath(QStringLiteral("folder.mp3"));
         QFile::copy(media::Path(media::Wav()), d.filePath(QStringLiteral("folder.mp3/tone.wav")));
         return d.filePath(QStringLiteral("folder.mp3"));
     }},
    {"NoReadPermission",
     [](const QDir& d) {
         const QString path = d.filePath(QStringLiteral("locked.wav"));
         QFile::copy(media::Path(media::Wav()), path);
         QFile::setPermissions(path, {});
         return path;
     },
     true},
};

} // namespace

class MpvPlayerRefusal : public PlayerTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(MpvPlayerRefusal, RefusesWithinTwoSecondsAndStaysUsable)
{
    if (GetParam().needsUnprivilegedUser && geteuid() == 0)
        GTEST_SKIP() << "root reads any file whatever its permissions";
    QTemporaryDir folder;
    const QString bad = GetParam().make(QDir(folder.path()));
    ASSERT_FALSE(bad.isEmpty()) << "could not make the file";
    open(media::Formats()[1]);
    raised.clear();

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorNumberOf([&] { player->setURL(bad); }), PlayerError::CannotOpen);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(player->playState(), MediaPlayer::Undefined);
    EXPECT_EQ(raised, States{MediaPlayer::Undefined});
    EXPECT_TRUE(player->URL().isEmpty());
    EXPECT_NO_THROW(player->play());
    EXPECT_EQ(ErrorNumberOf([&] { player->setCurrentPosition(1); }), PlayerError::NoMedium);

    open(media::Wav());
    EXPECT_EQ(player->playState(), MediaPlayer::Ready);
    expectPlaysOnFrom(0, 400, "the good file after the refusal");
}

INSTANTIATE_TEST_SUITE_P(BadFiles, MpvPlayerRefusal, ::testing::ValuesIn(BadFiles),
                         [](const auto& test) { return std::string(test.param.name); });
