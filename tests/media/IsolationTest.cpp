#include "PlayerFixture.h"

#include "player/PlayerErrors.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <mpv/client.h>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

using player::MediaPlayer;
namespace PlayerError = player::PlayerError;

namespace {

bool writeText(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

// Loads a file into a bare libmpv core with these options and waits until it is done with it.
void loadWithBareMpv(const QString& path, std::initializer_list<std::pair<const char*, const char*>> options)
{
    mpv_handle* mpv = mpv_create();
    ASSERT_NE(mpv, nullptr);
    mpv_set_option_string(mpv, "vo", "null");
    mpv_set_option_string(mpv, "ao", "null");
    for (const auto& [name, value] : options)
        mpv_set_option_string(mpv, name, value);
    ASSERT_GE(mpv_initialize(mpv), 0);
    const QByteArray file = path.toLocal8Bit();
    const char* command[] = {"loadfile", file.constData(), nullptr};
    mpv_command(mpv, command);
    // Qt's events go on meanwhile, so the test's listener can answer.
    media::WaitUntil([mpv] {
        const mpv_event* event = mpv_wait_event(mpv, 0);
        return event->event_id == MPV_EVENT_IDLE || event->event_id == MPV_EVENT_FILE_LOADED;
    }, 3000);
    mpv_terminate_destroy(mpv);
}

// Counts what opens or reads anything in the watched folders (not their subfolders).
class FolderWatch {
public:
    explicit FolderWatch(const QStringList& folders) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const QString& folder : folders)
            m_watching += inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS) >= 0;
    }
    ~FolderWatch() { close(m_fd); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    int watching() const { return m_watching; }
    int touches()
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t length = 0;
        while ((length = read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                ++m_touches;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return m_touches;
    }

private:
    int m_fd;
    int m_watching = 0;
    int m_touches = 0;
};

} // namespace

// A home whose mpv configuration would start every file at 30 s and whose script would leave a
// mark. A bare libmpv core that reads it leaves the mark, so the set-up is known to bite.
// libmpv reads HOME once per process, so each case needs a process of its own, as ctest runs them.
class MpvPlayerIsolation : public PlayerTest {
protected:
    QTemporaryDir home;
    QString mark = home.filePath(QStringLiteral("mark"));
    ScopedEnvironment homeVariable{"HOME", home.path().toLocal8Bit()};
    ScopedEnvironment configVariable{"XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit()};

    void SetUp() override
    {
        const QString script = QStringLiteral("local f = io.open('%1', 'w')\nf:write('read')\nf:close()\n").arg(mark);
        for (const QString& folder : {QStringLiteral(".config/mpv"), QStringLiteral(".mpv")}) {
            ASSERT_TRUE(writeText(home.filePath(folder + QStringLiteral("/mpv.conf")), QStringLiteral("start=30\n")));
            ASSERT_TRUE(writeText(home.filePath(folder + QStringLiteral("/scripts/mark.lua")), script));
        }
        PlayerTest::SetUp();
    }
};

TEST_F(MpvPlayerIsolation, ReadsNoConfigurationOrScriptOfTheUser)
{
    open(media::Wav());
    EXPECT_EQ(player->currentPosition(), 0.0) << "the user's mpv.conf was read";
    player->play();
    media::Pump(300);
    player.reset();
    EXPECT_FALSE(QFile::exists(mark)) << "the user's script ran";

    loadWithBareMpv(media::Path(media::Wav()), {{"config", "yes"}});
    EXPECT_TRUE(QFile::exists(mark)) << "the test's script would not run anyway; the test proves nothing";
}

// Not a file of the user's mpv folders is opened, its fonts included, while a video with
// subtitles plays.
TEST_F(MpvPlayerIsolation, OpensNothingInTheUsersMpvFolders)
{
    QStringList folders;
    for (const QString& folder : {QStringLiteral(".config/mpv"), QStringLiteral(".mpv")}) {
        ASSERT_TRUE(writeText(home.filePath(folder + QStringLiteral("/fonts/user.ttf")), QStringLiteral("not a font")));
        for (const QString& sub : {QString(), QStringLiteral("/scripts"), QStringLiteral("/fonts")})
            folders << home.filePath(folder + sub);
    }
    const QString subtitles = home.filePath(QStringLiteral("lines.srt"));
    ASSERT_TRUE(writeText(subtitles, QStringLiteral("1\n00:00:00,000 --> 00:00:59,000\nInterviewer: Guten Tag.\n")));
    const QString video = home.filePath(QStringLiteral("subtitled.mkv"));
    ASSERT_TRUE(media::Ffmpeg({QStringLiteral("-i"), media::Path(media::Mp4()), QStringLiteral("-i"), subtitles,
                               QStringLiteral("-c:v"), QStringLiteral("copy"), QStringLiteral("-c:a"), QStringLiteral("copy"),
                               QStringLiteral("-disposition:s:0"), QStringLiteral("default"), video}))
        << "FFmpeg could not make the subtitled video";

    FolderWatch watch(folders);
    ASSERT_EQ(watch.watching(), folders.size());
    ASSERT_NO_THROW(player->setURL(video));
    player->play();
    media::Pump(800);
    EXPECT_EQ(watch.touches(), 0) << "the player opened something in the user's mpv folders";

    loadWithBareMpv(video, {{"config", "yes"}});
    EXPECT_GT(watch.touches(), 0) << "libmpv would not look there anyway; the test proves nothing";
}

struct Redirect {
    friend void PrintTo(const Redirect& redirect, std::ostream* out) { *out << redirect.name; }

    const char* name;
    const char* file;
    // %1 stands for the listener's address.
    const char* content;
    // Whether libmpv left to its defaults connects: the proof that the case can fail at all.
    bool bareMpvConnects;
};

class MpvPlayerLocalOnly : public PlayerTest, public ::testing::WithParamInterface<Redirect> {};

TEST_P(MpvPlayerLocalOnly, RefusesFilesPointingElsewhereWithoutConnecting)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&listener, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            ++connections;
            socket->abort();
            socket->deleteLater();
        }
    });
    QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromLatin1(GetParam().file));
    const QString address = QStringLiteral("127.0.0.1:%1").arg(listener.serverPort());
    ASSERT_TRUE(writeText(path, QString::fromLatin1(GetParam().content).arg(address)));

    EXPECT_EQ(ErrorNumberOf([&] { player->setURL(path); }), PlayerError::CannotOpen);
    media::Pump(500);
    EXPECT_EQ(connections, 0);
    EXPECT_EQ(player->playState(), MediaPlayer::Undefined);

    if (GetParam().bareMpvConnects) {
        loadWithBareMpv(path, {});
        media::Pump(300);
        EXPECT_GT(connections, 0) << "libmpv would not connect anyway; the test proves nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Redirects, MpvPlayerLocalOnly,
    ::testing::Values(Redirect{"Playlist", "list.m3u", "#EXTM3U\n#EXTINF:60,Interview\nhttp://%1/interview.mp3\n", true},
                      Redirect{"Hls", "stream.m3u8",
                               "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n"
                               "#EXTINF:10.0,\nhttp://%1/segment0.ts\n#EXT-X-ENDLIST\n",
                               true},
                      Redirect{"Concat", "list.ffconcat", "ffconcat version 1.0\nfile 'tcp://%1'\n", false},
                      Redirect{"Edl", "cut.edl", "# mpv EDL v0\nhttp://%1/interview.wav,0,30\n", true},
                      Redirect{"Sdp", "stream.sdp",
                               "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=Interview\nc=IN IP4 127.0.0.1\nt=0 0\n"
                               "m=audio 5004 RTP/AVP 0\na=control:rtsp://%1/interview\n",
                               false}),
    [](const auto& test) { return std::string(test.param.name); });
