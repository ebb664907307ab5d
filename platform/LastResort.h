#pragma once

#include "Error.h"

#include <exception>
#include <functional>
#include <utility>

namespace platform {

// The last resort for failures that no handler traps: shows the failure's number and
// description in a message box (and on standard error), then ends the program with exit code
// 1. Ending means leaving the event loop, so the window is destroyed on the way out and gives
// its hot keys back. Every entry point from Qt into the program's code runs inside Run.
class LastResort {
public:
    static constexpr int FailureExitCode = 1;
    using Show = std::function<void(const QString& text)>;

    // show presents the message; by default the program's message box.
    explicit LastResort(Show show = {});

    template <class F>
    void Run(F&& work) noexcept
    {
        try {
            std::forward<F>(work)();
        } catch (...) {
            Report(std::current_exception());
        }
    }

    // A callable that runs work inside Run, for connecting to Qt signals.
    template <class F>
    auto Guard(F work)
    {
        return [this, work = std::move(work)]() mutable { Run(work); };
    }

    bool Failed() const { return m_failed; }

    // The error a caught exception stands for.
    static Error ErrorOf(std::exception_ptr failure);
    // The text the message box shows for an error.
    static QString MessageText(const Error& error);

private:
    void Report(std::exception_ptr failure) noexcept;

    Show m_show;
    bool m_failed = false;
};

} // namespace platform
