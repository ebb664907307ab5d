// The program on Qt's Wayland platform with no X server at all (Wayland without XWayland): the
// keys still reach it through the desktop portal.
#include "PortalWindow.h"

#include <QGuiApplication>

namespace {

using WaylandOnly = testing_support::PortalWindow;

TEST_F(WaylandOnly, TheWindowStartsBindsItsKeysAndPlaysOnActivation)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    EXPECT_TRUE(platform->UsesPortal());
    EXPECT_FALSE(platform->HasX11());
    ASSERT_TRUE(media::WaitUntil([&] { return window->isVisible(); }, 3000));

    const auto* session = BoundSession();
    ASSERT_NE(session, nullptr) << "the keys were not bound through the portal";
    EXPECT_TRUE(session->appId.isEmpty() || session->appId == QGuiApplication::desktopFileName());
    Open(media::Path(media::Wav()));
    Backend().Activate(session->path, QStringLiteral("spielen"));
    EXPECT_TRUE(media::WaitUntil([&] { return State() == player::MediaPlayer::Playing; }, 3000))
        << "F3 through the portal did not play";
}

class WaylandWithoutPortal : public testing_support::PortalWindow {
protected:
    WaylandWithoutPortal() : PortalWindow(testing_support::PortalDesktop::FrontEnd::Absent) {}
};

TEST_F(WaylandWithoutPortal, TheWindowStartsAndTellsTheUserTheKeysCannotReachIt)
{
    EXPECT_FALSE(platform->UsesPortal());
    EXPECT_FALSE(platform->HasX11());
    EXPECT_EQ(window->HotKeys()->Keys().size(), testing_support::KeyCount);
    ASSERT_TRUE(media::WaitUntil([&] { return window->isVisible(); }, 3000));
    EXPECT_TRUE(Notice().contains(QStringLiteral("playerctl -p horchpult pause"))) << Notice().toStdString();
    Open(media::Path(media::Wav()));
}

} // namespace
