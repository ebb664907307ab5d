#include "WindowFixture.h"

#include <QDateTime>
#include <QDirIterator>
#include <QSettings>
#include <QTemporaryDir>

#include <random>

namespace {

using testing_support::WindowTest;

class Remembering : public WindowTest {
protected:
    QString SettingsFile() const { return config.filePath(QStringLiteral("horchpult/horchpult.conf")); }
    QStringList FilesInConfig() const
    {
        QStringList files;
        for (QDirIterator it(config.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                             QDirIterator::Subdirectories);
             it.hasNext();)
            files << it.next();
        return files;
    }
    // Every choice of the window's, and a folder visited in Qt's file dialog, which Qt keeps.
    void ChangeEveryChoice()
    {
        for (const char* name : {"repeat_12", "timestamp_brackets", "repeat_3", "timestamp_decimal", "wellenform"})
            PlayerEntry(name).trigger();
        Click("plus");
        Control<QCheckBox>("Check1").setChecked(true);
        QSettings qt(QSettings::UserScope, QStringLiteral("QtProject"));
        qt.setValue(QStringLiteral("FileDialog/lastVisited"), QStringLiteral("file:///interviews/confidential"));
    }
};

TEST_F(Remembering, OffWritesNothingOnKeepsTheChoicesAcrossRunsAndOffAgainRemovesThem)
{
    ChangeEveryChoice();
    Restart();
    EXPECT_TRUE(FilesInConfig().isEmpty()) << FilesInConfig().join(u' ').toStdString();
    EXPECT_FALSE(PlayerEntry("remember").isChecked());
    EXPECT_TRUE(PlayerEntry("repeat_5").isChecked()) << "a choice survived a run that remembered nothing";
    EXPECT_FALSE(PlayerEntry("wellenform").isChecked());

    PlayerEntry("remember").trigger();
    EXPECT_TRUE(QFile::exists(SettingsFile()));
    ChangeEveryChoice();
    Restart();
    EXPECT_TRUE(PlayerEntry("remember").isChecked());
    EXPECT_TRUE(PlayerEntry("repeat_3").isChecked());
    EXPECT_TRUE(PlayerEntry("timestamp_decimal").isChecked());
    EXPECT_EQ(Box("speed").text(), QStringLiteral("0")) << "the speed is never kept";
    EXPECT_TRUE(PlayerEntry("wellenform").isChecked());
    EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("waveform"))->isVisibleTo(window.get()));

    const QString cached = cache.filePath(QStringLiteral("horchpult/waveforms/a-recording"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(cached).path()) && QFile(cached).open(QIODevice::WriteOnly));
    PlayerEntry("remember").trigger();
    EXPECT_TRUE(FilesInConfig().isEmpty()) << FilesInConfig().join(u' ').toStdString();
    EXPECT_FALSE(QFile::exists(cached)) << "the waveforms outlived remembering";
    Restart();
    EXPECT_FALSE(PlayerEntry("remember").isChecked());
    EXPECT_TRUE(PlayerEntry("repeat_5").isChecked());
}

TEST_F(Remembering, RubbishInTheFileIsIgnoredValueByValueWithoutAMessage)
{
    std::mt19937 random(26);
    QByteArray bytes(4096, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    const std::pair<QByteArray, const char*> files[] = {
        {bytes, "timestamp_hashes"},
        {"[repeat]\nseconds=0\n[timestamps]\nformat=brackets\n", "timestamp_brackets"},
        {"[repeat]\nseconds=-3\n", "timestamp_hashes"},
        {"[repeat]\nseconds=100000\n[timestamps]\nformat=decimal", "timestamp_decimal"},
        {"[repeat]\nseconds=8\n[timestamps]\nformat=roman\n", "timestamp_hashes"},
        {"[timestamps]\nformat=brackets\n[repeat]\nsecon", "timestamp_brackets"},
    };
    for (const auto& [content, format] : files) {
        ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("horchpult")));
        QFile file(SettingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        Restart();
        const bool eight = content.contains("seconds=8\n");
        EXPECT_TRUE(PlayerEntry(eight ? "repeat_8" : "repeat_5").isChecked()) << content.left(60).toStdString();
        EXPECT_TRUE(PlayerEntry(format).isChecked()) << content.left(60).toStdString();
        EXPECT_TRUE(PlayerEntry("remember").isChecked());
        EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join(u'\n').toStdString();
    }
    PlayerEntry("repeat_12").trigger();
    Restart();
    EXPECT_TRUE(PlayerEntry("repeat_12").isChecked()) << "a file that held rubbish is not written anew";
    EXPECT_TRUE(fatal.isEmpty()) << fatal.join(u'\n').toStdString();
}

TEST_F(Remembering, WhereARecordingWasLeftIsOfferedWhenItIsOpenedAgainOnlyWhileRemembering)
{
    QTemporaryDir recordings;
    const QString path = recordings.filePath(QStringLiteral("interview.mp3"));
    QFile recording(path);
    ASSERT_TRUE(recording.open(QIODevice::WriteOnly) && recording.write("ID3") == 3);
    recording.close();
    const auto playTo = [&](double seconds) {
        Open(path);
        Press(QStringLiteral("spielen"));
        wm1->position = seconds;
    };
    const QString offer = QStringLiteral("Last time you stopped at 00:00:42.");

    playTo(42);
    Press(QStringLiteral("stop"));
    Restart();
    Open(path);
    EXPECT_FALSE(Notice().contains(offer)) << Notice().toStdString();
    EXPECT_TRUE(FilesInConfig().isEmpty()) << FilesInConfig().join(u' ').toStdString();

    PlayerEntry("remember").trigger();
    playTo(42);
    Restart(); // closed while playing
    Open(path);
    EXPECT_TRUE(Notice().contains(offer)) << Notice().toStdString();
    EXPECT_TRUE(wm1->calls.filter(QStringLiteral("position")).isEmpty()) << "the window moved by itself";
    Click("noticeAction");
    EXPECT_EQ(wm1->position, 42);
    EXPECT_NE(wm1->playState(), player::MediaPlayer::Playing);
    EXPECT_FALSE(Notice().contains(offer)) << Notice().toStdString();

    Restart(); // opened and closed without playing: the place stands
    Open(path);
    EXPECT_TRUE(Notice().contains(offer)) << Notice().toStdString();
    Press(QStringLiteral("spielen"));
    EXPECT_FALSE(Notice().contains(offer)) << "playing from the start still offers the old place";

    ASSERT_TRUE(recording.open(QIODevice::Append) && recording.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                                                          QFileDevice::FileModificationTime));
    recording.close();
    Restart();
    Open(path);
    EXPECT_FALSE(Notice().contains(QStringLiteral("Last time"))) << "a changed recording was taken for the same";
    EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join(u'\n').toStdString();
}

TEST_F(Remembering, AFolderThatCannotBeWrittenLosesOnlyTheRemembering)
{
    // A file where the program's folder would go stops even root from making it.
    QFile blocker(config.filePath(QStringLiteral("horchpult")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QAction& remember = PlayerEntry("remember");
    remember.trigger();
    EXPECT_FALSE(remember.isChecked());
    EXPECT_TRUE(remember.toolTip().contains(QStringLiteral("cannot remember"))) << remember.toolTip().toStdString();
    PlayerEntry("repeat_8").trigger();
    EXPECT_TRUE(PlayerEntry("repeat_8").isChecked());
    EXPECT_TRUE(desktop.messages.isEmpty()) << desktop.messages.join(u'\n').toStdString();
}

} // namespace
