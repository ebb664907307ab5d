#include "X11Selection.h"

#include <QSocketNotifier>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&free)>;

xcb_atom_t Intern(xcb_connection_t* connection, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr), &free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// One way of asking: a selection and the text type to convert it to.
struct Request {
    xcb_atom_t selection;
    xcb_atom_t target;
    const char* source;
};

} // namespace

struct X11Selection::Reading {
    std::size_t limit;
    Done done;
    std::vector<Request> requests;
    std::size_t next = 0;
    xcb_window_t window = 0;
    bool incremental = false;
    QByteArray bytes;
    QString source;
};

X11Selection::X11Selection()
{
    m_deadline.setSingleShot(true);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_answers,
                     [this] { Finish(m_reading->bytes.isEmpty() ? SelectionText::Outcome::NoAnswer
                                                                : SelectionText::Outcome::Read); });
}

X11Selection::~X11Selection()
{
    m_notifier.reset();
    if (m_connection != nullptr)
        xcb_disconnect(m_connection);
}

bool X11Selection::Connect()
{
    if (m_connection != nullptr)
        return xcb_connection_has_error(m_connection) == 0;
    int screenNumber = 0;
    m_connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(m_connection) != 0)
        return false;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    m_root = screens.data->root;
    m_clipboard = Intern(m_connection, "CLIPBOARD");
    m_utf8 = Intern(m_connection, "UTF8_STRING");
    m_incr = Intern(m_connection, "INCR");
    m_property = Intern(m_connection, "HORCHPULT_SELECTION");
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_answers, [this] { HandleEvents(); });
    return xcb_connection_has_error(m_connection) == 0;
}

void X11Selection::Read(std::size_t limit, Done done)
{
    if (m_reading)
        Finish(SelectionText::Outcome::NoAnswer);
    m_reading = std::make_unique<Reading>();
    m_reading->limit = limit;
    m_reading->done = std::move(done);
    if (!Connect()) {
        Finish(SelectionText::Outcome::CannotRead);
        return;
    }
    // An owner that knows no UTF8_STRING may still have text: STRING, Latin-1.
    m_reading->requests = {{XCB_ATOM_PRIMARY, m_utf8, "selection"},
                           {XCB_ATOM_PRIMARY, XCB_ATOM_STRING, "selection"},
                           {m_clipboard, m_utf8, "clipboard"},
                           {m_clipboard, XCB_ATOM_STRING, "clipboard"}};
    m_reading->window = xcb_generate_id(m_connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_reading->window, m_root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    m_deadline.start(AnswerMs);
    AskNext();
    HandleEvents();
}

void X11Selection::AskNext()
{
    Reading& reading = *m_reading;
    while (reading.next < reading.requests.size()) {
        const Request request = reading.requests[reading.next++];
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, request.selection),
                                          nullptr),
            &free);
        if (!owner || owner->owner == XCB_NONE)
            continue;
        reading.source = QString::fromLatin1(request.source);
        xcb_convert_selection(m_connection, reading.window, request.selection, request.target, m_property,
                              XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        return;
    }
    Finish(SelectionText::Outcome::NothingThere);
}

void X11Selection::HandleEvents()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        const Reply<xcb_generic_event_t> owned(event, &free);
        if (!m_reading)
            continue;
        switch (event->response_type & 0x7F) {
        case XCB_SELECTION_NOTIFY: {
            const auto& notify = *reinterpret_cast<xcb_selection_notify_event_t*>(event);
            if (notify.requestor == m_reading->window)
                Converted(notify);
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto& change = *reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (change.window == m_reading->window && change.atom == m_property
                && change.state == XCB_PROPERTY_NEW_VALUE && m_reading->incremental)
                ChunkArrived();
            break;
        }
        default:
            break;
        }
    }
    if (m_reading && xcb_connection_has_error(m_connection) != 0)
        Finish(SelectionText::Outcome::CannotRead);
}

void X11Selection::Converted(const xcb_selection_notify_event_t& event)
{
    if (m_reading->incremental)
        return;
    if (event.property == XCB_NONE) {
        AskNext();
        return;
    }
    // A text too large for one property comes in chunks: deleting the property asks for the first.
    Reply<xcb_get_property_reply_t> head(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 0, m_reading->window, m_property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
                               nullptr),
        &free);
    if (head && head->type == m_incr) {
        m_reading->incremental = true;
        xcb_delete_property(m_connection, m_reading->window, m_property);
        xcb_flush(m_connection);
        return;
    }
    if (TakeProperty() && !m_reading->bytes.isEmpty())
        Finish(SelectionText::Outcome::Read);
    else
        AskNext();
}

void X11Selection::ChunkArrived()
{
    if (!TakeProperty() || m_reading->bytes.size() >= static_cast<qsizetype>(m_reading->limit))
        Finish(m_reading->bytes.isEmpty() ? SelectionText::Outcome::NothingThere : SelectionText::Outcome::Read);
}

bool X11Selection::TakeProperty()
{
    Reading& reading = *m_reading;
    const std::size_t wanted = reading.limit - std::min<std::size_t>(reading.limit, reading.bytes.size());
    // Lengths are counted in 32-bit units.
    const auto units = static_cast<std::uint32_t>(std::min<std::size_t>((wanted + 3) / 4, UINT32_MAX));
    Reply<xcb_get_property_reply_t> value(
        xcb_get_property_reply(m_connection,
                               xcb_get_property(m_connection, 1, reading.window, m_property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, units),
                               nullptr),
        &free);
    if (!value || value->format != 8)
        return false;
    const int length = xcb_get_property_value_length(value.get());
    // Deleting tells an owner sending chunks to send the next; a read in part deletes nothing by itself.
    if (value->bytes_after > 0)
        xcb_delete_property(m_connection, reading.window, m_property);
    reading.bytes.append(static_cast<const char*>(xcb_get_property_value(value.get())),
                         std::min<qsizetype>(length, static_cast<qsizetype>(wanted)));
    xcb_flush(m_connection);
    return length > 0;
}

void X11Selection::Finish(SelectionText::Outcome outcome)
{
    m_deadline.stop();
    const std::unique_ptr<Reading> reading = std::move(m_reading);
    if (reading->window != 0 && m_connection != nullptr) {
        xcb_destroy_window(m_connection, reading->window);
        xcb_flush(m_connection);
    }
    SelectionText text{outcome, outcome == SelectionText::Outcome::Read ? reading->bytes : QByteArray(),
                       reading->source};
    QTimer::singleShot(0, &m_answers, [done = reading->done, text = std::move(text)] { done(text); });
}

} // namespace platform
