#pragma once

#include "FakeDesktop.h"

#include "app/frm1.h"
#include "platform/Numbers.h"
#include "player/FakePlayer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>

#include <initializer_list>
#include <memory>

namespace testing_support {

// The fake player's call log as a test writes it.
inline QStringList Calls(std::initializer_list<const char*> calls)
{
    QStringList list;
    for (const char* call : calls)
        list.append(QString::fromLatin1(call));
    return list;
}

// The calls without the rate the window re-applies on every play-state change.
inline QStringList Transport(const QStringList& calls)
{
    QStringList transport = calls;
    transport.removeIf([](const QString& call) { return call.startsWith(QStringLiteral("rate")); });
    return transport;
}

// The window with a fake platform and a fake player, started like the program starts it, in
// the point locale unless a test chooses another.
class WindowTest : public ::testing::Test {
protected:
    // heldElsewhere: keys another program holds when the window starts.
    explicit WindowTest(std::vector<std::uint32_t> heldElsewhere = {})
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        desktop.heldElsewhere = std::move(heldElsewhere);
        QLocale::setDefault(QLocale::c());
        Start();
    }
    ~WindowTest() override { QLocale::setDefault(QLocale::system()); }

    // The window started anew, as the next run of the program starts.
    void Restart()
    {
        window.reset();
        Start();
    }

    template <class W>
    W& Control(const char* name) const
    {
        W* control = window->findChild<W*>(QString::fromLatin1(name));
        if (control == nullptr)
            throw std::runtime_error(std::string("no control named ") + name);
        return *control;
    }
    QLineEdit& Box(const char* name) const { return Control<QLineEdit>(name); }
    void Click(const char* name) const { Control<QPushButton>(name).click(); }
    void Menu(const char* name) const { Control<QAction>(name).trigger(); }
    // An entry of the player's menu, which the window adds to.
    QAction& PlayerEntry(const char* name) const
    {
        auto* entry = wm1->contextMenu().findChild<QAction*>(QString::fromLatin1(name));
        if (entry == nullptr)
            throw std::runtime_error(std::string("no entry named ") + name);
        return *entry;
    }
    QString Notice() const
    {
        const auto* notice = window->findChild<QLabel*>(QStringLiteral("notice"));
        return notice != nullptr ? notice->text() : QString();
    }

    // A press of the hot key registered under name, as the platform delivers it.
    void Press(const QString& name)
    {
        for (const hotkeys::tHotKeyEntry& key : window->HotKeys()->Keys()) {
            if (key.sName == name) {
                desktop.Deliver(window->Handle(), platform::WM_HOTKEY, key.lId, key.eKey << 16);
                return;
            }
        }
        FAIL() << "no hot key named " << name.toStdString();
    }

    // Opens a file the fake player accepts; the call log starts empty afterwards.
    void Open(const QString& path = QStringLiteral("/media/interview.mp3"))
    {
        desktop.files.push_back(path);
        Menu("neu");
        wm1->calls.clear();
        desktop.messages.clear();
    }

    void Start()
    {
        auto fake = std::make_unique<player::FakePlayer>();
        wm1 = fake.get();
        fake->widget().setFocusPolicy(Qt::StrongFocus); // a player takes the focus like a control
        window = std::make_unique<app::frm1>(desktop, lastResort, std::move(fake));
        window->Form_Load();
    }

    int Interval() const { return window->PositionTimer().Interval(); }

    // The user's configuration and cache folders, empty at first.
    QTemporaryDir config;
    QTemporaryDir cache;
    FakeDesktop desktop;
    QStringList fatal; // what the last resort showed
    platform::LastResort lastResort{[this](const QString& text) { fatal.append(text); }};
    player::FakePlayer* wm1 = nullptr;
    std::unique_ptr<app::frm1> window;
};

} // namespace testing_support
