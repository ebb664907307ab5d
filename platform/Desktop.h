#pragma once

#include "Services.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace platform {

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
};

} // namespace platform
