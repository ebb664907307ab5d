#pragma once

// The window as a user meets it: a real window manager, the real platform and the real player,
// driven only through the X server from a thread of its own (see WindowUser.h) while the GUI
// thread runs the program's event loop.

#include "WindowUser.h"

#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace e2e {

class UserSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        using namespace std::chrono_literals;
        windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        ASSERT_TRUE(windowManager.waitForStarted()) << "openbox did not start";
        xtest::XClient probe;
        ASSERT_TRUE(probe.WaitForWindowManager(5s));
        window = std::make_unique<app::frm1>(desktop, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
        window->Form_Load();
        window->show();
    }

    void TearDown() override
    {
        window.reset();
        windowManager.kill();
        windowManager.waitForFinished();
        EXPECT_TRUE(fatal.isEmpty()) << fatal.join(u'\n').toStdString();
    }

    // Runs the user's steps on a thread of their own; the GUI thread handles events meanwhile.
    void Drive(const std::function<void(xtest::XClient&)>& steps)
    {
        std::atomic<bool> done = false;
        std::thread user([&] {
            xtest::XClient x;
            steps(x);
            done = true;
        });
        xtest::WaitUntil([&] { return done.load(); }, std::chrono::seconds(120));
        user.join();
    }

    player::MediaPlayer& Player() const { return window->Player(); }
    double Position() const { return OnGui([this] { return Player().currentPosition(); }); }
    std::int32_t State() const { return OnGui([this] { return Player().playState(); }); }
    // On the GUI thread, as the conditions of Eventually run.
    QString TextNow(const char* box) const
    {
        return window->findChild<QLineEdit*>(QString::fromLatin1(box))->text();
    }
    QString Text(const char* box) const { return OnGui([&] { return TextNow(box); }); }

    void ClickOn(xtest::XClient& x, const char* name) const { e2e::ClickOn(x, *window, name); }

    // Clicks into a text box and types over what it holds, once the box has the keyboard focus.
    void TypeInto(xtest::XClient& x, const char* box, const std::string& text) const
    {
        ClickOn(x, box);
        ASSERT_TRUE(Eventually([&] { return window->findChild<QWidget*>(QString::fromLatin1(box))->hasFocus(); }))
            << "a click does not put the focus into " << box;
        x.Press(XK_Control_L);
        x.Tap(XK_a);
        x.Release(XK_Control_L);
        x.Type(text);
        ASSERT_TRUE(Eventually([&] { return TextNow(box) == QString::fromStdString(text); }))
            << box << " holds '" << Text(box).toStdString() << "' after typing '" << text << "'";
    }

    void OpenThroughDialog(xtest::XClient& x, const QString& path) const
    {
        const std::string failure = e2e::OpenThroughDialog(x, *window, path);
        ASSERT_TRUE(failure.empty()) << failure;
    }

    QProcess windowManager;
    platform::LastResort lastResort{[this](const QString& text) { fatal << text; }};
    platform::LinuxPlatform desktop{lastResort};
    QStringList fatal;
    std::unique_ptr<app::frm1> window;
};

} // namespace e2e
