#pragma once

#include "platform/Typing.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

class QDBusMessage;

namespace platform {

// Typing through the desktop portal's remote desktop (the way on Wayland, where no program may
// send keys to another): a session with the keyboard only, asked for at the first text (the
// desktop asks the user once) and kept for the run, never stored for the next. Each character
// goes as its keysym, pressed and released, one call after the other; the desktop finds the key
// and modifiers in its own layout. When the user declines, or the portal lacks the remote
// desktop, this and every later text are refused (done(false)). When the desktop closes the
// session, the rest of the text is dropped and the next text asks anew. GUI thread only.
class PortalTyping final : public QObject, public Typing {
    Q_OBJECT
public:
    explicit PortalTyping(QDBusConnection bus);
    ~PortalTyping() override;
    PortalTyping(const PortalTyping&) = delete;
    PortalTyping& operator=(const PortalTyping&) = delete;

    void Type(const QString& text, Done done) override;

private slots:
    void SessionClosed(const QDBusMessage& closed);

private:
    enum class Stage { Closed, Asking, Started, Declined };
    struct Key {
        std::int32_t keysym;
        bool pressed;
    };

    void CreateSession();
    void SelectDevices();
    void Start();
    void Answered(bool started);
    // Sends the next key of the text being typed, or starts the next text.
    void SendNext();
    void FinishText();
    QString NextToken();

    QDBusConnection m_bus;
    Stage m_stage = Stage::Closed;
    QString m_session;
    std::deque<std::pair<QString, Done>> m_waiting;
    std::deque<Key> m_keys; // of the text being typed
    Done m_typing;          // its done, while it is being typed
    bool m_sending = false;
    int m_tokens = 0;
};

} // namespace platform
