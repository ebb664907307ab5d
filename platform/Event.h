#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace platform {

// A synchronous event: raise() calls every connected handler in the order of connection, on
// the caller's thread, before it returns. A handler's error propagates to the raiser.
//
// connect() returns the connection, which the subscriber keeps if it may go before the event:
// once disconnected, its handler is never called again. A handler may connect others and
// disconnect any, itself included, while the event is raised; disconnecting after the event
// has gone does nothing.
template <class... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

private:
    struct Entry {
        Handler handler;
        bool connected = true;
    };
    struct Entries {
        std::vector<std::shared_ptr<Entry>> list;
        int raising = 0;

        void dropDisconnected()
        {
            list.erase(std::remove_if(list.begin(), list.end(), [](const auto& entry) { return !entry->connected; }),
                       list.end());
        }
    };

public:
    class Connection {
    public:
        Connection() = default;

        void disconnect()
        {
            const std::shared_ptr<Entries> entries = m_entries.lock();
            const std::shared_ptr<Entry> entry = m_entry.lock();
            m_entries.reset();
            m_entry.reset();
            if (!entries || !entry)
                return;
            entry->connected = false;
            // A running handler is not destroyed under itself: the raise drops it when done.
            if (entries->raising == 0)
                entries->dropDisconnected();
        }

    private:
        friend class Event;
        Connection(const std::shared_ptr<Entries>& entries, const std::shared_ptr<Entry>& entry)
            : m_entries(entries), m_entry(entry)
        {
        }

        std::weak_ptr<Entries> m_entries;
        std::weak_ptr<Entry> m_entry;
    };

    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    Connection connect(Handler handler)
    {
        auto entry = std::make_shared<Entry>(Entry{std::move(handler)});
        m_entries->list.push_back(entry);
        return Connection(m_entries, entry);
    }

    void raise(Args... args) const
    {
        Entries& entries = *m_entries;
        // Disconnected entries are dropped once no raise runs, also when a handler fails.
        struct Raising {
            Entries& raised;
            explicit Raising(Entries& e) : raised(e) { ++raised.raising; }
            ~Raising()
            {
                if (--raised.raising == 0)
                    raised.dropDisconnected();
            }
        } raising(entries);
        // By index, each entry held while its handler runs: handlers connected meanwhile run too,
        // and none is moved or freed while it runs.
        for (std::size_t i = 0; i < entries.list.size(); ++i) {
            const std::shared_ptr<Entry> entry = entries.list[i];
            if (entry->connected)
                entry->handler(args...);
        }
    }

private:
    std::shared_ptr<Entries> m_entries = std::make_shared<Entries>();
};

} // namespace platform
