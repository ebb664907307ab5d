#include "DataControlDevice.h"

#include "wayland/ext-data-control-v1-client.h"
#include "wayland/wlr-data-control-unstable-v1-client.h"

#include <QDeadlineTimer>

#include <wayland-client.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform {

class DataControlDevice::Binding {
public:
    virtual ~Binding() = default;
    virtual bool Finished() const = 0;
    virtual const std::vector<QByteArray>& MimeTypes(Selection selection) const = 0;
    virtual void Receive(Selection selection, const QByteArray& mimeType, int fd) = 0;
};

namespace {

struct Ext {
    using Manager = ext_data_control_manager_v1;
    using Device = ext_data_control_device_v1;
    using Offer = ext_data_control_offer_v1;
    using DeviceListener = ext_data_control_device_v1_listener;
    using OfferListener = ext_data_control_offer_v1_listener;
    static constexpr const wl_interface* Interface = &ext_data_control_manager_v1_interface;
    static constexpr std::uint32_t Version = 1;
    static constexpr auto GetDevice = ext_data_control_manager_v1_get_data_device;
    static constexpr auto DestroyManager = ext_data_control_manager_v1_destroy;
    static constexpr auto ListenToDevice = ext_data_control_device_v1_add_listener;
    static constexpr auto DestroyDevice = ext_data_control_device_v1_destroy;
    static constexpr auto ListenToOffer = ext_data_control_offer_v1_add_listener;
    static constexpr auto Receive = ext_data_control_offer_v1_receive;
    static constexpr auto DestroyOffer = ext_data_control_offer_v1_destroy;
};

struct Wlr {
    using Manager = zwlr_data_control_manager_v1;
    using Device = zwlr_data_control_device_v1;
    using Offer = zwlr_data_control_offer_v1;
    using DeviceListener = zwlr_data_control_device_v1_listener;
    using OfferListener = zwlr_data_control_offer_v1_listener;
    static constexpr const wl_interface* Interface = &zwlr_data_control_manager_v1_interface;
    // The first version with the primary selection.
    static constexpr std::uint32_t Version = 2;
    static constexpr auto GetDevice = zwlr_data_control_manager_v1_get_data_device;
    static constexpr auto DestroyManager = zwlr_data_control_manager_v1_destroy;
    static constexpr auto ListenToDevice = zwlr_data_control_device_v1_add_listener;
    static constexpr auto DestroyDevice = zwlr_data_control_device_v1_destroy;
    static constexpr auto ListenToOffer = zwlr_data_control_offer_v1_add_listener;
    static constexpr auto Receive = zwlr_data_control_offer_v1_receive;
    static constexpr auto DestroyOffer = zwlr_data_control_offer_v1_destroy;
};

using Selection = DataControlDevice::Selection;

// The two protocols differ in their names only.
template <class P>
class BindingOf final : public DataControlDevice::Binding {
public:
    BindingOf(wl_registry* registry, std::uint32_t manager, std::uint32_t seat)
        : m_seat(static_cast<wl_seat*>(wl_registry_bind(registry, seat, &wl_seat_interface, 1))),
          m_manager(static_cast<typename P::Manager*>(wl_registry_bind(registry, manager, P::Interface, P::Version))),
          m_device(P::GetDevice(m_manager, m_seat))
    {
        P::ListenToDevice(m_device, &DeviceListener, this);
    }

    ~BindingOf() override
    {
        m_introduced.clear();
        m_primary.reset();
        m_clipboard.reset();
        P::DestroyDevice(m_device);
        P::DestroyManager(m_manager);
        wl_seat_destroy(m_seat);
    }

    BindingOf(const BindingOf&) = delete;
    BindingOf& operator=(const BindingOf&) = delete;

    bool Finished() const override { return m_finished; }

    const std::vector<QByteArray>& MimeTypes(Selection selection) const override
    {
        static const std::vector<QByteArray> none;
        const Offer* offer = Held(selection).get();
        return offer ? offer->mimeTypes : none;
    }

    void Receive(Selection selection, const QByteArray& mimeType, int fd) override
    {
        if (const Offer* offer = Held(selection).get())
            P::Receive(offer->proxy, mimeType.constData(), fd);
    }

private:
    struct Offer {
        explicit Offer(typename P::Offer* offered) : proxy(offered) { P::ListenToOffer(proxy, &OfferListener, this); }
        ~Offer() { P::DestroyOffer(proxy); }
        Offer(const Offer&) = delete;
        Offer& operator=(const Offer&) = delete;

        typename P::Offer* proxy;
        std::vector<QByteArray> mimeTypes;
    };

    static void Offered(void* data, typename P::Offer*, const char* mimeType)
    {
        static_cast<Offer*>(data)->mimeTypes.emplace_back(mimeType);
    }

    static void Introduced(void* data, typename P::Device*, typename P::Offer* offer)
    {
        static_cast<BindingOf*>(data)->m_introduced.push_back(std::make_unique<Offer>(offer));
    }

    static void ClipboardSet(void* data, typename P::Device*, typename P::Offer* offer)
    {
        static_cast<BindingOf*>(data)->Take(Selection::Clipboard, offer);
    }

    static void PrimarySet(void* data, typename P::Device*, typename P::Offer* offer)
    {
        static_cast<BindingOf*>(data)->Take(Selection::Primary, offer);
    }

    static void Ended(void* data, typename P::Device*) { static_cast<BindingOf*>(data)->m_finished = true; }

    static constexpr typename P::OfferListener OfferListener{&Offered};
    static constexpr typename P::DeviceListener DeviceListener{&Introduced, &ClipboardSet, &Ended, &PrimarySet};

    std::unique_ptr<Offer>& Held(Selection selection)
    {
        return selection == Selection::Primary ? m_primary : m_clipboard;
    }

    const std::unique_ptr<Offer>& Held(Selection selection) const
    {
        return selection == Selection::Primary ? m_primary : m_clipboard;
    }

    // The offer replaces the selection's former one, which is destroyed; null clears it.
    void Take(Selection selection, typename P::Offer* proxy)
    {
        std::unique_ptr<Offer>& held = Held(selection);
        held.reset();
        const auto offer = std::find_if(m_introduced.begin(), m_introduced.end(),
                                        [proxy](const auto& introduced) { return introduced->proxy == proxy; });
        if (offer == m_introduced.end())
            return;
        held = std::move(*offer);
        m_introduced.erase(offer);
    }

    wl_seat* m_seat;
    typename P::Manager* m_manager;
    typename P::Device* m_device;
    // Offers announced for a selection that has not been named yet.
    std::vector<std::unique_ptr<Offer>> m_introduced;
    std::unique_ptr<Offer> m_primary;
    std::unique_ptr<Offer> m_clipboard;
    bool m_finished = false;
};

// Reads what the compositor has sent, waiting for it up to timeoutMs, and handles it. False
// once the connection has failed.
bool ReadAndDispatch(wl_display* display, int timeoutMs)
{
    while (wl_display_prepare_read(display) != 0) {
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    }
    // A socket too full to take the requests belongs to a compositor that reads nothing; the
    // caller's deadline answers for that.
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return false;
    }
    pollfd ready{wl_display_get_fd(display), POLLIN, 0};
    const int polled = poll(&ready, 1, timeoutMs);
    if (polled <= 0) {
        wl_display_cancel_read(display);
        return polled == 0 || errno == EINTR;
    }
    return wl_display_read_events(display) == 0 && wl_display_dispatch_pending(display) >= 0;
}

// wl_display_roundtrip, but giving up at the deadline.
bool Roundtrip(wl_display* display, const QDeadlineTimer& deadline)
{
    static const wl_callback_listener listener{
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &listener, &done);
    while (!done && !deadline.hasExpired() && ReadAndDispatch(display, static_cast<int>(deadline.remainingTime()))) {
    }
    wl_callback_destroy(callback);
    return done;
}

// What the registry lists that a data-control device needs.
struct Globals {
    std::uint32_t seat = 0;
    std::uint32_t ext = 0;
    std::uint32_t wlr = 0;
};

void Announced(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == 0)
        globals->seat = name;
    else if (std::strcmp(interface, Ext::Interface->name) == 0 && version >= Ext::Version)
        globals->ext = name;
    else if (std::strcmp(interface, Wlr::Interface->name) == 0 && version >= Wlr::Version)
        globals->wlr = name;
}

void Removed(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener RegistryListener{&Announced, &Removed};

std::unique_ptr<DataControlDevice::Binding> Bind(wl_display* display, const QDeadlineTimer& deadline)
{
    Globals globals;
    std::unique_ptr<wl_registry, decltype(&wl_registry_destroy)> registry(wl_display_get_registry(display),
                                                                          &wl_registry_destroy);
    wl_registry_add_listener(registry.get(), &RegistryListener, &globals);
    if (!Roundtrip(display, deadline) || globals.seat == 0)
        return nullptr;
    if (globals.ext != 0)
        return std::make_unique<BindingOf<Ext>>(registry.get(), globals.ext, globals.seat);
    if (globals.wlr != 0)
        return std::make_unique<BindingOf<Wlr>>(registry.get(), globals.wlr, globals.seat);
    return nullptr;
}

} // namespace

std::unique_ptr<DataControlDevice> DataControlDevice::Connect(int timeoutMs)
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    // A WAYLAND_SOCKET is the connection handed to the program itself, not one to take.
    if (name == nullptr || *name == '\0' || std::getenv("WAYLAND_SOCKET") != nullptr)
        return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return nullptr;
    const QDeadlineTimer deadline(timeoutMs);
    std::unique_ptr<Binding> binding = Bind(display, deadline);
    // The second round trip brings the selections as they are now; one that is empty is not told
    // of (KWin 5.27), so its absence says nothing of whether the compositor has it.
    if (!binding || !Roundtrip(display, deadline) || binding->Finished()) {
        binding.reset();
        wl_display_disconnect(display);
        return nullptr;
    }
    return std::unique_ptr<DataControlDevice>(new DataControlDevice(display, std::move(binding)));
}

DataControlDevice::DataControlDevice(wl_display* display, std::unique_ptr<Binding> binding)
    : m_display(display), m_binding(std::move(binding))
{
}

DataControlDevice::~DataControlDevice()
{
    m_binding.reset();
    wl_display_disconnect(m_display);
}

int DataControlDevice::Fd() const
{
    return wl_display_get_fd(m_display);
}

bool DataControlDevice::Pump()
{
    m_failed = m_failed || !ReadAndDispatch(m_display, 0) || m_binding->Finished();
    return !m_failed;
}

const std::vector<QByteArray>& DataControlDevice::MimeTypes(Selection selection) const
{
    return m_binding->MimeTypes(selection);
}

bool DataControlDevice::Receive(Selection selection, const QByteArray& mimeType, int fd)
{
    if (m_failed)
        return false;
    m_binding->Receive(selection, mimeType, fd);
    m_failed = wl_display_flush(m_display) < 0 && errno != EAGAIN;
    return !m_failed;
}

} // namespace platform
