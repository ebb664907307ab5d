#pragma once

// The real window, the real platform and the real player in this process, in a Wayland session
// whose desktop portal is Debian's real front-end with the test's backend (PortalDesktop.h).

#include "PortalDesktop.h"

#include "../media/TestMedia.h"

#include "app/frm1.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/MpvPlayer.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace testing_support {

class PortalWindow : public ::testing::Test {
protected:
    explicit PortalWindow(PortalDesktop::FrontEnd frontEnd = PortalDesktop::FrontEnd::Running) : portal(frontEnd) {}

    void SetUp() override
    {
        ASSERT_TRUE(portal.Failure().isEmpty()) << portal.Failure().toStdString();
        portal.BecomeTheSession();
        // Qt may have taken the session bus before this test made its own.
        platform = std::make_unique<platform::LinuxPlatform>(lastResort, portal.Connect(QStringLiteral("program")));
        window = std::make_unique<app::frm1>(*platform, lastResort, std::make_unique<player::MpvPlayer>(lastResort));
        window->Form_Load();
        window->HotKeys()->HotKeyPress.connect([this](const QString& name, std::int32_t, std::int32_t) { presses << name; });
        window->show();
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
        const auto bound = [&] { return Backend().Latest() != nullptr && Backend().Latest()->bound.size() == 4; };
        return media::WaitUntil(bound, 10000) ? Backend().Latest() : nullptr;
    }

    // File > open, the file's full path typed into the dialog's name box, and open, as a user
    // does. A message box in the dialog's place fails the test instead of waiting for a click.
    void Open(const QString& path)
    {
        QTimer chooser;
        chooser.setInterval(20);
        QObject::connect(&chooser, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                // Not selectFile(): it leaves the name box as it is while the box has the focus.
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(path);
                QMetaObject::invokeMethod(dialog, "accept");
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                failures << box->text();
                box->close();
            }
        });
        chooser.start();
        window->findChild<QAction*>(QStringLiteral("neu"))->trigger();
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

    PortalDesktop portal;
    QStringList failures;
    platform::LastResort lastResort{[this](const QString& text) { failures << text; }};
    std::unique_ptr<platform::LinuxPlatform> platform;
    std::unique_ptr<app::frm1> window;
    QStringList presses;
};

} // namespace testing_support
