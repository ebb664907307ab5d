#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <utility>

namespace platform {

// A synchronous event: raise() calls every connected handler in the order of connection, on
// the caller's thread, before it returns. A handler's error propagates to the raiser.
template <class... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    void connect(Handler handler) { m_handlers.push_back(std::move(handler)); }

    void raise(Args... args) const
    {
        // By index: a handler may connect another one while the event is raised.
        for (std::size_t i = 0; i < m_handlers.size(); ++i)
            m_handlers[i](args...);
    }

private:
    // A deque, not a vector: connecting during raise() must not move the handler that is
    // running, whose captures would otherwise be freed under it.
    std::deque<Handler> m_handlers;
};

} // namespace platform
