#pragma once

#include "Event.h"
#include "SelectionReading.h"
#include "Services.h"
#include "Typing.h"

#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

namespace platform {

// What the desktop made of one registered key: the trigger it fires on, as the desktop writes it
// for the user ("F3", "Ctrl+Alt+P"); empty when the desktop left the key unbound.
struct HotKeyTrigger {
    HWND hwnd;
    std::uint32_t fsModifiers;
    std::uint32_t vk;
    QString trigger;
};

// Where registered keys reach the program: whichever program has the focus, only while an X11
// program has it (a Wayland session whose desktop offers no global shortcuts, through XWayland),
// or nowhere (a Wayland session without either; elsewhere registering fails).
enum class HotKeyReach { Everywhere, WhileX11HasFocus, Nowhere };

// How the user gives the program keys that the desktop left unbound: the place in the desktop's
// settings, and whether the desktop has a page of its own for the program's keys.
struct HotKeyChoice {
    QString settings;
    bool ownPage = false;
};

// The services a top-level window uses besides those of the hot-key registry: its handle, the
// notice of its destruction, and the program's message box.
class Desktop : public Services {
public:
    // The window's handle; from now on the window's messages can be hooked.
    virtual HWND RegisterWindow(QWidget& window) = 0;
    // Delivers WM_DESTROY to the window's hooks, then forgets the window, its hooks and any hot
    // keys still registered for it. Call while the window still exists.
    virtual void WindowDestroyed(HWND hwnd) = 0;
    // A modal message box: OK only, no icon, the title "Horchpult".
    virtual void MessageBox(QWidget* owner, const QString& text) = 0;
    // A modal dialog for choosing one file; its full path, or empty when none was chosen.
    // With OFN_FILEMUSTEXIST in flags only existing files can be chosen.
    virtual QString ChooseFile(QWidget* owner, std::uint32_t flags) = 0;

    // What the key registered under name does, in words the desktop may show when it asks the
    // user to bind it. Give it before registering the key.
    virtual void DescribeHotKey(const QString& name, const QString& description) = 0;
    virtual HotKeyReach HotKeysReach() const = 0;
    virtual HotKeyChoice HotKeysChoice() const = 0;
    // The user wants to give the keys again: opens the desktop's own page for them where it has
    // one, and elsewhere asks the desktop again to bind them, which may ask the user. What the
    // desktop makes of them comes through HotKeysBound.
    virtual void ChooseHotKeys() = 0;
    // Types text into the program that has the keyboard focus (Typing.h). Where the desktop lets
    // no program type into another, done(false) at once.
    virtual void TypeText(const QString& /*text*/, Typing::Done done) { done(false); }
    // Reads the text selected in the program that has the focus (SelectionReading.h). Where the
    // desktop lets no program read another's selection, done with CannotRead at once.
    virtual void ReadSelection(std::size_t /*limit*/, SelectionReading::Done done) { done({}); }
    // Raised on the GUI thread when the desktop says which triggers it gave the registered keys:
    // once it has bound them, and whenever the user changes them. Never raised where keys are
    // grabbed just as registered (X11).
    Event<const std::vector<HotKeyTrigger>&> HotKeysBound;
};

} // namespace platform
