#include "MessageHook.h"

#include <algorithm>

namespace platform {

void MessageHook::Hook(ISubclass& receiver, HWND hwnd, std::int32_t msg)
{
    if (!IsHooked(receiver, hwnd, msg))
        m_entries.push_back(Entry{&receiver, hwnd, msg});
}

void MessageHook::Unhook(ISubclass& receiver, HWND hwnd, std::int32_t msg)
{
    std::erase_if(m_entries, [&](const Entry& e) {
        return e.receiver == &receiver && e.hwnd == hwnd && e.msg == msg;
    });
}

void MessageHook::UnhookWindow(HWND hwnd)
{
    std::erase_if(m_entries, [&](const Entry& e) { return e.hwnd == hwnd; });
}

bool MessageHook::IsHooked(const ISubclass& receiver, HWND hwnd, std::int32_t msg) const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return e.receiver == &receiver && e.hwnd == hwnd && e.msg == msg;
    });
}

std::int32_t MessageHook::Deliver(HWND hwnd, std::int32_t msg, std::int32_t wParam,
                                  std::int32_t lParam, const WindowProcessing& ownProcessing)
{
    std::vector<ISubclass*> receivers;
    for (const Entry& e : m_entries) {
        if (e.hwnd == hwnd && e.msg == msg)
            receivers.push_back(e.receiver);
    }
    for (ISubclass* receiver : receivers) {
        if (IsHooked(*receiver, hwnd, msg))
            receiver->WindowProc(hwnd, msg, wParam, lParam);
    }
    return ownProcessing ? ownProcessing(hwnd, msg, wParam, lParam) : 0;
}

} // namespace platform
