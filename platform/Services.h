#pragma once

#include "ISubclass.h"
#include "Messages.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace platform {

// The window-system services the hot-key registry relies on, in the shape the registry was
// designed for: window handles, hot-key ids, atoms, messages and a thread's last-error value.
// Functions that fail set the calling thread's last error; HookMessage and UnhookMessage raise
// platform::Error instead. Implemented over X11 by LinuxPlatform and by a fake in the tests.
class Services {
public:
    virtual ~Services() = default;

    virtual ATOM GlobalAddAtomA(const QByteArray& name) = 0;
    // 0 on success, the atom itself on failure.
    virtual ATOM GlobalDeleteAtom(ATOM atom) = 0;

    virtual bool RegisterHotKey(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers,
                                std::uint32_t vk) = 0;
    virtual bool UnregisterHotKey(HWND hwnd, std::int32_t id) = 0;

    // Writes the system text of messageId into buffer (at most size bytes, NUL terminated)
    // and returns its length without the NUL; 0 when there is none.
    virtual std::uint32_t FormatMessageA(std::uint32_t flags, std::uint32_t messageId,
                                         std::uint32_t languageId, char* buffer,
                                         std::uint32_t size) = 0;
    virtual std::uint32_t GetTickCount() = 0;
    virtual std::uint32_t GetLastError() = 0;

    virtual bool IsIconic(HWND hwnd) = 0;
    virtual std::int32_t SendMessageA(HWND hwnd, std::int32_t msg, std::int32_t wParam,
                                      std::int32_t lParam) = 0;

    virtual void HookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg) = 0;
    virtual void UnhookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg) = 0;

    // The running executable's file name without folder and extension.
    virtual QString ExecutableBaseName() = 0;
};

} // namespace platform
