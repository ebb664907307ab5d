#pragma once

#include "ISubclass.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace platform {

// Hands a window's messages to the receivers hooked for them, then to the window's own
// processing, which always follows. A receiver may unhook itself, or any other receiver, while
// a message is delivered: an unhooked receiver gets no further call.
class MessageHook {
public:
    using WindowProcessing = std::function<std::int32_t(HWND, std::int32_t, std::int32_t, std::int32_t)>;

    void Hook(ISubclass& receiver, HWND hwnd, std::int32_t msg);
    void Unhook(ISubclass& receiver, HWND hwnd, std::int32_t msg);
    void UnhookWindow(HWND hwnd);
    bool IsHooked(const ISubclass& receiver, HWND hwnd, std::int32_t msg) const;

    // Receivers in the order they hooked, then ownProcessing, whose result is returned.
    std::int32_t Deliver(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam,
                         const WindowProcessing& ownProcessing);

private:
    struct Entry {
        ISubclass* receiver;
        HWND hwnd;
        std::int32_t msg;
    };
    std::vector<Entry> m_entries;
};

} // namespace platform
