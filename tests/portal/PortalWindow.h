#pragma once

// The real window, the real platform and the real player in this process, in a Wayland session
// whose desktop portal is Debian's real front-end with the test's backend (PortalDesktop.h).

#include "OpenThroughFileMenu.h"
#include "PortalDesktop.h"

#include "../media/TestMedia.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace testing_support {

// The program's system-wide keys: F1 to F4, Shift+F1 and Shift+F4.
inline constexpr std::size_t KeyCount = 6;

class PortalWindow : public ::testing::Test {
protected:
    explicit PortalWindow(PortalDesktop::FrontEnd frontEnd = PortalDesktop::FrontEnd::Running) : portal(frontEnd) {}

    void SetUp() override
    {
        ASSERT_TRUE(portal.Failure().isEmpty()) << portal.Failure().toStdString();
        portal.BecomeTheSession();
        Start();
    }

    // The program's start: a platform of its own, on a bus connection of its own (Qt may have
    // taken the session bus before this test made its own), and its window.
    void Start()
    {
        presses.clear();
        platform = std::make_unique<platform::LinuxPlatform>(
            lastResort, portal.Connect(QStringLiteral("program%1").arg(++starts)));
        window = std::make_unique<app::frm1>(*platform, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
        window->Form_Load();
        window->HotKeys()->HotKeyPress.connect([this](const QString& name, std::int32_t, std::int32_t) { presses << name; });
        window->show();
    }

    // The program ends and is started again, as the user does the next day.
    void Restart()
    {
        window.reset();
        platform.reset();
        Start();
    }

    void TearDown() override
    {
        window.reset();
        platform.reset();
        EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();
    }

    ShortcutsBackend& Backend() { return portal.Backend(); }

    // The session in which the desktop bound the window's four keys.
    const ShortcutsBackend::Session* BoundSession()
    {
        const auto bound = [&] { return Backend().Latest() != nullptr && Backend().Latest()->bound.size() == KeyCount; };
        return media::WaitUntil(bound, 10000) ? Backend().Latest() : nullptr;
    }

    // File > open, the file's full path typed into the dialog's name box, and open, as a user
    // does. A message box in the dialog's place fails the test instead of waiting for a click.
    void Open(const QString& path)
    {
        OpenThroughFileMenu(*window, path, failures);
        ASSERT_EQ(window->Geladen(), app::frm1::True) << "the window did not load " << path.toStdString();
    }

    std::int32_t State() const { return window->Player().playState(); }
    QString ToolTip(const char* label) const
    {
        return window->findChild<QLabel*>(QString::fromLatin1(label))->toolTip();
    }
    QString Notice() const
    {
        const auto* notice = window->findChild<QLabel*>(QStringLiteral("notice"));
        return notice != nullptr && notice->isVisible() ? notice->text() : QString();
    }

    // The button beside the notice; null while none is offered.
    QPushButton* NoticeButton() const
    {
        auto* button = window->findChild<QPushButton*>(QStringLiteral("noticeAction"));
        return button != nullptr && button->isVisible() ? button : nullptr;
    }

    PortalDesktop portal;
    int starts = 0;
    QStringList failures;
    platform::LastResort lastResort{[this](const QString& text) { failures << text; }};
    std::unique_ptr<platform::LinuxPlatform> platform;
    std::unique_ptr<app::frm1> window;
    QStringList presses;
};

} // namespace testing_support
