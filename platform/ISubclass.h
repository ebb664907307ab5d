#pragma once

#include "Messages.h"

#include <cstdint>

namespace platform {

// A receiver of a window's hooked messages. WindowProc runs synchronously on the window's
// thread while the message is processed; the window's own processing follows it.
class ISubclass {
public:
    // The answer 2 means: the window's own processing runs after WindowProc.
    static constexpr std::int32_t CallOriginalAfter = 2;

    virtual ~ISubclass() = default;
    virtual std::int32_t MsgResponse() const = 0;
    virtual void MsgResponse(std::int32_t RHS) = 0;
    virtual std::int32_t WindowProc(HWND hwnd, std::int32_t iMsg, std::int32_t wParam,
                                    std::int32_t lParam) = 0;
};

} // namespace platform
