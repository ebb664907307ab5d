// Broken media made from the good test files, opened through the window as a user opens them:
// each is played as far as it goes or refused with the window's message within two seconds, no
// half-open medium stays behind, and a good file opens and plays afterwards. Faults that strike
// while a file plays (it vanishes, loses its read permission, is cut short) must not stop the
// window either.

#include "PlayerFixture.h"
#include "TestMedia.h"

#include "../window/FakeDesktop.h"

#include "app/Messages.h"
#include "app/frm1.h"

#include <QAction>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <iostream>

namespace {

using player::MediaPlayer;

constexpr qint64 Limit = 2000;

struct Damaged {
    QString name;
    QString path;
};

QByteArray contents(const media::Format& format)
{
    QFile file(media::Path(format));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString suffixOf(const media::Format& format)
{
    return QString::fromLatin1(format.file).section(u'.', -1);
}

// The corpus, written into folder: every kind of damage to every format, and files that are not
// media files at all.
std::vector<Damaged> makeCorpus(const QDir& folder)
{
    std::vector<Damaged> corpus;
    const auto add = [&](const QString& name, const QString& file, const QByteArray& bytes) {
        const QString path = folder.filePath(file);
        QFile out(path);
        if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size())
            corpus.push_back({name, path});
    };
    const std::vector<media::Format>& formats = media::Formats();
    for (std::size_t f = 0; f < formats.size(); ++f) {
        const QByteArray good = contents(formats[f]);
        const QString suffix = suffixOf(formats[f]);
        const QString name = QString::fromLatin1(formats[f].name);
        for (const int percent : {1, 10, 50, 90})
            add(QStringLiteral("%1 cut at %2 %").arg(name).arg(percent),
                QStringLiteral("cut%1.%2").arg(percent).arg(suffix), good.left(good.size() * percent / 100));

        QRandomGenerator random(static_cast<quint32>(f) + 1);
        QByteArray flipped = good;
        for (int i = 0; i < flipped.size() / 100; ++i)
            flipped[random.bounded(static_cast<int>(flipped.size()))] ^= static_cast<char>(0xFF);
        add(name + QStringLiteral(" with 1 % of its bytes flipped"), QStringLiteral("flipped.") + suffix, flipped);
        QByteArray header = good;
        for (int i = 0; i < 64; ++i)
            header[i] ^= static_cast<char>(0xFF);
        add(name + QStringLiteral(" with its header flipped"), QStringLiteral("header-flipped.") + suffix, header);
        QByteArray zeroed = good;
        zeroed.replace(0, 4096, QByteArray(4096, '\0'));
        add(name + QStringLiteral(" with its first 4 KiB zeroed"), QStringLiteral("zeroed.") + suffix, zeroed);

        const QString wrong = suffixOf(formats[(f + 1) % formats.size()]);
        add(QStringLiteral("%1 named .%2").arg(name, wrong), QStringLiteral("%1-named.%2").arg(suffix, wrong), good);
    }
    add(QStringLiteral("zero length"), QStringLiteral("empty.mp3"), {});

    const QString sparse = folder.filePath(QStringLiteral("sparse.mp3"));
    QFile huge(sparse);
    if (huge.open(QIODevice::WriteOnly) && huge.resize(qint64(8) << 30))
        corpus.push_back({QStringLiteral("8 GiB sparse file of zeros"), sparse});
    const QString longWav = folder.filePath(QStringLiteral("sparse-tail.wav"));
    if (QFile::copy(media::Path(media::Wav()), longWav) && QFile(longWav).resize(qint64(6) << 30))
        corpus.push_back({QStringLiteral("WAV followed by 6 GiB of sparse zeros"), longWav});

    folder.mkpath(QStringLiteral("folder.wav"));
    corpus.push_back({QStringLiteral("folder"), folder.filePath(QStringLiteral("folder.wav"))});
    const QString fifo = folder.filePath(QStringLiteral("fifo.wav"));
    if (mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0)
        corpus.push_back({QStringLiteral("FIFO without a writer"), fifo});
    return corpus;
}

class BrokenMedia : public WindowOnPlayerTest {
protected:
    void SetUp() override
    {
        WindowOnPlayerTest::SetUp();
        window->show();
    }

    // Opens path through the menu and the file dialog; returns how long it took.
    qint64 OpenThroughWindow(const QString& path)
    {
        desktop.messages.clear();
        desktop.files.push_back(path);
        QElapsedTimer clock;
        clock.start();
        window->findChild<QAction*>(QStringLiteral("neu"))->trigger();
        return clock.elapsed();
    }

    // A good file opens without a message and plays.
    void ExpectGoodFileStillPlays(const QString& after)
    {
        OpenThroughWindow(media::Path(media::Wav()));
        EXPECT_TRUE(desktop.messages.isEmpty()) << "after " << after.toStdString() << ": " << desktop.messages.join(u'|').toStdString();
        EXPECT_EQ(window->Geladen(), app::frm1::True) << "after " << after.toStdString();
        player->play();
        EXPECT_TRUE(media::WaitUntil([&] { return player->currentPosition() > 0.1; }, 2000))
            << "a good file does not play after " << after.toStdString();
        player->pause();
    }
};

TEST_F(BrokenMedia, EachIsPlayedAsFarAsItGoesOrRefusedWithTheMessage)
{
    QTemporaryDir folder;
    const std::vector<Damaged> corpus = makeCorpus(QDir(folder.path()));
    ASSERT_GE(corpus.size(), 30u) << "the corpus could not be made";
    int refused = 0;
    for (const Damaged& file : corpus) {
        SCOPED_TRACE(file.name.toStdString());
        const qint64 took = OpenThroughWindow(file.path);
        EXPECT_LT(took, Limit) << "the window was busy for " << took << " ms";
        const bool opened = desktop.messages.isEmpty();
        if (opened) {
            EXPECT_EQ(window->Geladen(), app::frm1::True);
            EXPECT_EQ(player->playState(), MediaPlayer::Ready);
            player->play();
            media::Pump(300);
            EXPECT_TRUE(player->playState() == MediaPlayer::Playing || player->playState() == MediaPlayer::MediaEnded ||
                        player->playState() == MediaPlayer::Undefined)
                << "play state " << player->playState();
            player->pause();
        } else {
            ++refused;
            EXPECT_EQ(desktop.messages, QStringList{app::MediaRefused});
            EXPECT_EQ(window->Geladen(), app::frm1::False) << "a refused file left a medium half open";
            EXPECT_EQ(player->playState(), MediaPlayer::Undefined);
            EXPECT_TRUE(player->URL().isEmpty());
        }
        std::cout << "[ corpus   ] " << file.name.toStdString() << ": " << (opened ? "played" : "refused") << " in "
                  << took << " ms\n";
        ExpectGoodFileStillPlays(file.name);
    }
    std::cout << "[ corpus   ] " << corpus.size() << " files, " << refused << " refused\n";
}

struct MidPlayFault {
    friend void PrintTo(const MidPlayFault& fault, std::ostream* out) { *out << fault.name; }

    const char* name;
    bool (*strike)(const QString& path);
};

const MidPlayFault MidPlayFaults[] = {
    {"Vanishes", [](const QString& path) { return QFile::remove(path); }},
    {"LosesItsReadPermission", [](const QString& path) { return QFile::setPermissions(path, {}); }},
    {"IsCutShort", [](const QString& path) { return QFile(path).resize(4096); }},
};

class BrokenWhilePlaying : public BrokenMedia, public ::testing::WithParamInterface<MidPlayFault> {};

TEST_P(BrokenWhilePlaying, TheWindowKeepsGoing)
{
    for (const media::Format& format : {media::Wav(), media::Mp4()}) {
        SCOPED_TRACE(format.name);
        QTemporaryDir folder;
        const QString path = folder.filePath(QString::fromLatin1(format.file));
        ASSERT_TRUE(QFile::copy(media::Path(format), path));
        OpenThroughWindow(path);
        ASSERT_EQ(window->Geladen(), app::frm1::True);
        player->play();
        media::Pump(300);
        ASSERT_TRUE(GetParam().strike(path)) << "could not apply the fault";

        QElapsedTimer clock;
        clock.start();
        media::Pump(1500);
        EXPECT_LT(clock.elapsed(), 1500 + Limit) << "the window hung";
        const std::int32_t state = player->playState();
        EXPECT_TRUE(state == MediaPlayer::Playing || state == MediaPlayer::MediaEnded || state == MediaPlayer::Undefined)
            << "play state " << state;
        if (state == MediaPlayer::Playing) {
            EXPECT_GT(player->currentPosition(), 1.0) << "playing, but the position stands";
        }
        ExpectGoodFileStillPlays(QString::fromLatin1(GetParam().name));
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, BrokenWhilePlaying, ::testing::ValuesIn(MidPlayFaults),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
