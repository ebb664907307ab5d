#pragma once

#include "app/frm1.h"
#include "platform/Error.h"

#include <cstdio>

// Loads and shows the window as the program does; false, with the reason on standard error,
// when its keys cannot be registered.
inline bool StartWindow(app::frm1& window)
{
    try {
        window.Form_Load();
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "the window could not register its keys: %s\n", e.what());
        return false;
    }
    window.show();
    return true;
}
