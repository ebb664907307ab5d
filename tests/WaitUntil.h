#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace testing_support {

// Processes Qt's events until done() holds or the timeout passes; returns done().
inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        QCoreApplication::processEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace testing_support
