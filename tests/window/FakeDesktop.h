#pragma once

#include "FakeServices.h"

#include "platform/Desktop.h"

#include <QStringList>
#include <QWidget>

#include <deque>
#include <functional>
#include <map>

namespace testing_support {

// The fake platform as a window sees it: message boxes are recorded instead of shown, and the
// file dialog answers with the next name queued in `files` (empty when none is queued: a cancel).
// What `whileMessageShown` does runs while a box is open, as the box's own event loop would run it.
class FakeDesktop final : public FakeServicesOf<platform::Desktop> {
public:
    QStringList messages;
    std::deque<QString> files;
    std::map<QString, QString> descriptions;
    platform::HotKeyReach reach = platform::HotKeyReach::Everywhere;
    std::function<void()> whileMessageShown;
    QStringList typed;         // texts typed into the focused program
    bool typingAllowed = true; // whether the desktop lets the program type

    platform::HWND RegisterWindow(QWidget&) override { return WindowHandle; }
    void WindowDestroyed(platform::HWND hwnd) override { Deliver(hwnd, platform::WM_DESTROY, 0, 0); }
    void MessageBox(QWidget*, const QString& text) override
    {
        messages.append(text);
        if (whileMessageShown)
            whileMessageShown();
    }
    QString ChooseFile(QWidget*, std::uint32_t) override
    {
        if (files.empty())
            return {};
        const QString next = files.front();
        files.pop_front();
        return next;
    }

    void DescribeHotKey(const QString& name, const QString& description) override { descriptions[name] = description; }
    platform::HotKeyReach HotKeysReach() const override { return reach; }
    platform::HotKeyChoice HotKeysChoice() const override { return {QStringLiteral("the desktop's keyboard settings")}; }
    void ChooseHotKeys() override { ++choices; }
    int choices = 0;
    void TypeText(const QString& text, platform::Typing::Done done) override
    {
        if (typingAllowed)
            typed.append(text);
        done(typingAllowed);
    }

    static constexpr platform::HWND WindowHandle = 0x4A0001;
};

} // namespace testing_support
