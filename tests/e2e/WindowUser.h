#pragma once

// The user's side of the real window: a thread of its own, which reaches the window only
// through the X server and reads its state on the GUI thread while that thread runs the
// program's event loop, modal dialogs included. Shared by the end-to-end tests and the
// benchmarks that drive the real window.

#include "../x11/XClient.h"

#include "app/frm1.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>

#include <X11/keysym.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>

namespace e2e {

// Runs query on the GUI thread, also while a modal dialog is open there.
template <class F>
auto OnGui(F query)
{
    decltype(query()) result{};
    QMetaObject::invokeMethod(qApp, [&] { result = query(); }, Qt::BlockingQueuedConnection);
    return result;
}

// Asks the GUI thread until condition holds or the timeout passes; returns whether it held.
inline bool Eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!OnGui(condition)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A left click on the middle of the window's control of that object name, where the X server
// shows it: the window manager maps and places the window on its own time, so Qt's idea of
// where the window is may still be the place it asked for.
inline void ClickOn(xtest::XClient& x, const app::frm1& window, const char* name)
{
    const auto [frame, offset] = OnGui([&] {
        const auto* control = window.findChild<QWidget*>(QString::fromLatin1(name));
        return std::pair{static_cast<xtest::XWindow>(window.winId()), control->mapTo(&window, control->rect().center())};
    });
    Eventually([&] { return x.MapStateOf(frame) == xtest::XClient::MapState::Viewable; });
    const xtest::XClient::Rect origin = x.GeometryOf(frame);
    x.Click(origin.x + offset.x(), origin.y + offset.y());
}

// Chooses path as a user does: Ctrl+N in the window, the path typed into the file dialog,
// Return. Returns an empty text or what went wrong; whether the window took the file is the
// caller's to check.
inline std::string OpenThroughDialog(xtest::XClient& x, const app::frm1& window, const QString& path)
{
    const auto frame = static_cast<xtest::XWindow>(OnGui([&] { return window.winId(); }));
    // The window manager maps the window on its own time; focus needs it viewable.
    if (!Eventually([&] { return x.Focus(frame); }))
        return "the window cannot take the focus";
    if (!x.TypeInto(frame, {XK_Control_L, XK_n}))
        return "the window lost the focus before Ctrl+N";
    if (!Eventually([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }))
        return "Ctrl+N shows no file dialog";
    const auto dialog = static_cast<xtest::XWindow>(OnGui([] { return QApplication::activeModalWidget()->winId(); }));
    const auto holdsPath = [&] {
        const auto* box = QApplication::activeModalWidget()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        return box != nullptr && box->text() == path;
    };
    // The completer's list popping up while the path is typed now and then takes a key.
    bool typed = false;
    for (int attempt = 0; attempt < 3 && !typed; ++attempt) {
        if (!Eventually([&] { return x.Focus(dialog); }))
            return "the file dialog cannot take the focus";
        x.Press(XK_Control_L);
        x.Tap(XK_a);
        x.Release(XK_Control_L);
        x.Type(path.toStdString());
        typed = Eventually(holdsPath, std::chrono::seconds(2));
    }
    if (!typed)
        return "the file dialog does not hold the typed path";
    // A Return while the completer's list is still up would go to the list.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    x.Tap(XK_Return);
    return {};
}

} // namespace e2e
