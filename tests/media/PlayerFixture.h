#pragma once

#include "TestMedia.h"

#include "../window/FakeDesktop.h"

#include "app/frm1.h"
#include "platform/Error.h"
#include "platform/LastResort.h"
#include "player/MpvPlayer.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

// A real MpvPlayer in a shown window, recording every PlayStateChange. Failures that reach the
// last resort are collected instead of shown, and fail the test.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(480, 360);
        player = std::make_unique<player::MpvPlayer>(lastResort, &window);
        player->setGeometry(0, 0, 480, 360);
        player->PlayStateChange.connect([this](std::int32_t state) { raised.push_back(state); });
        // Opening follows at once, before the first paint.
        window.show();
    }

    void TearDown() override
    {
        player.reset();
        EXPECT_TRUE(lastResortMessages.isEmpty()) << lastResortMessages.join(u'\n').toStdString();
    }

    void open(const media::Format& format, bool autoStart = false)
    {
        const QString path = media::Path(format);
        ASSERT_FALSE(path.isEmpty()) << "FFmpeg could not make the " << format.name << " file";
        player->setAutoStart(autoStart);
        ASSERT_NO_THROW(player->setURL(path)) << format.name;
    }

    // Plays for about `milliseconds` and checks that playback went on from `from`: the position
    // then lies between where it would be had playback started at play() and where it would be
    // had it started only when the pending seek was seen to land (later under load).
    void expectPlaysOnFrom(double from, int milliseconds, const char* what = "")
    {
        constexpr double Slack = 0.15; // the null output starts within a few of its periods
        QElapsedTimer sincePlay;
        sincePlay.start();
        player->play();
        EXPECT_TRUE(media::WaitUntil([&] { return !player->seekPending(); }, 3000)) << "the seek never finished";
        QElapsedTimer sinceSeek;
        sinceSeek.start();
        media::Pump(milliseconds);
        const double position = player->currentPosition();
        EXPECT_GE(position, from + static_cast<double>(sinceSeek.elapsed()) / 1000 - Slack) << what << " from " << from;
        EXPECT_LE(position, from + static_cast<double>(sincePlay.elapsed()) / 1000 + Slack) << what << " from " << from;
    }

    QStringList lastResortMessages;
    platform::LastResort lastResort{[this](const QString& text) { lastResortMessages << text; }};
    QWidget window;
    std::unique_ptr<player::MpvPlayer> player;
    std::vector<std::int32_t> raised;
};

// The real window on a real MpvPlayer, with the fake platform's message boxes and file dialog, as
// Form_Load leaves it. Failures that reach the last resort are collected and fail the test.
class WindowOnPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale::c());
        auto mpv = std::make_unique<player::MpvPlayer>(lastResort);
        player = mpv.get();
        window = std::make_unique<app::frm1>(desktop, lastResort, std::move(mpv));
        window->Form_Load();
    }

    void TearDown() override
    {
        window.reset();
        QLocale::setDefault(QLocale::system());
        EXPECT_TRUE(fatal.isEmpty()) << fatal.join(u'\n').toStdString();
    }

    QStringList fatal;
    platform::LastResort lastResort{[this](const QString& text) { fatal << text; }};
    testing_support::FakeDesktop desktop;
    player::MpvPlayer* player = nullptr;
    std::unique_ptr<app::frm1> window;
};

// The number of the error that `call` raises; 0 if it raises none.
template <class F>
std::int32_t ErrorNumberOf(F&& call)
{
    try {
        call();
    } catch (const platform::Error& error) {
        return error.number();
    }
    return 0;
}
