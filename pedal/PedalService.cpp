#include "PedalService.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace pedal {

namespace {

constexpr unsigned UsbBus = 3;
// Events taken at one wake-up of the monitor; more wait for the next turn of the event loop.
constexpr int UeventsPerWakeup = 64;

// The model of a hidraw device, from the HID_ID ("0003:000005F3:000000FF", bus, vendor and
// product) of its HID parent; null for anything but a known pedal on USB.
const Model* ModelOf(udev_device* hidraw)
{
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
    const char* id = hid == nullptr ? nullptr : udev_device_get_property_value(hid, "HID_ID");
    if (id == nullptr)
        return nullptr;
    const QStringList parts = QString::fromLatin1(id).split(u':');
    bool ok[3] = {false, false, false};
    if (parts.size() != 3)
        return nullptr;
    const unsigned bus = parts[0].toUInt(&ok[0], 16);
    const unsigned vendor = parts[1].toUInt(&ok[1], 16);
    const unsigned product = parts[2].toUInt(&ok[2], 16);
    if (!ok[0] || !ok[1] || !ok[2] || bus != UsbBus || vendor > 0xffff || product > 0xffff)
        return nullptr;
    return FindModel(static_cast<std::uint16_t>(vendor), static_cast<std::uint16_t>(product));
}

} // namespace

PedalService::PedalService() = default;

PedalService::~PedalService() = default;

void PedalService::start()
{
    m_udev.reset(udev_new(), udev_unref);
    if (!m_udev)
        return;
    // The monitor first, so that nothing plugged in while the list is read goes unseen.
    m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"), udev_monitor_unref);
    if (m_monitor && udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "hidraw", nullptr) >= 0
        && udev_monitor_enable_receiving(m_monitor.get()) >= 0) {
        const int fd = udev_monitor_get_fd(m_monitor.get());
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        m_uevents = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(m_uevents.get(), &QSocketNotifier::activated, [this] { receiveUevents(); });
    }

    const std::shared_ptr<udev_enumerate> list(udev_enumerate_new(m_udev.get()), udev_enumerate_unref);
    if (!list || udev_enumerate_add_match_subsystem(list.get(), "hidraw") < 0
        || udev_enumerate_scan_devices(list.get()) < 0)
        return;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list.get()))
    {
        const std::shared_ptr<udev_device> device(
            udev_device_new_from_syspath(m_udev.get(), udev_list_entry_get_name(entry)), udev_device_unref);
        if (device)
            add(device.get());
    }
}

void PedalService::receiveUevents()
{
    for (int i = 0; i < UeventsPerWakeup; ++i) {
        const std::shared_ptr<udev_device> device(udev_monitor_receive_device(m_monitor.get()), udev_device_unref);
        if (!device)
            return;
        const char* action = udev_device_get_action(device.get());
        const char* node = udev_device_get_devnode(device.get());
        if (action == nullptr || node == nullptr)
            continue;
        // A change comes when rules are applied anew (udevadm trigger): a pedal that could not
        // be opened may be readable now.
        if (qstrcmp(action, "add") == 0 || qstrcmp(action, "change") == 0)
            add(device.get());
        else if (qstrcmp(action, "remove") == 0)
            remove(QString::fromLocal8Bit(node));
    }
}

void PedalService::add(udev_device* device)
{
    const char* node = udev_device_get_devnode(device);
    const Model* model = node == nullptr ? nullptr : ModelOf(device);
    if (model == nullptr)
        return;
    const QString path = QString::fromLocal8Bit(node);
    const bool known = std::any_of(m_connections.begin(), m_connections.end(),
                                   [&](const Connection& c) { return c.device == path; });
    if (known)
        return;
    const int fd = ::open(node, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    forgetUnreadable(path);
    if (fd < 0) {
        m_unreadable.emplace_back(path, model);
        Changed.raise();
        return;
    }
    read(fd, *model, path);
}

void PedalService::read(int fd, const Model& model, const QString& device)
{
    auto reader = std::make_unique<PedalReader>(fd, model.decode);
    PedalReader* raw = reader.get();
    raw->Pressed.connect([this](Pedal pedal) { Pressed.raise(pedal); });
    raw->Released.connect([this](Pedal pedal) { Released.raise(pedal); });
    raw->Ended.connect([this, raw] { drop(raw); });
    m_connections.push_back({device, &model, std::move(reader)});
    Changed.raise();
}

void PedalService::remove(const QString& device)
{
    if (forgetUnreadable(device))
        Changed.raise();
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [&](const Connection& c) { return c.device == device; });
    // Ending drops the connection: nothing of it is touched afterwards.
    if (found != m_connections.end())
        found->reader->end();
}

bool PedalService::forgetUnreadable(const QString& device)
{
    return std::erase_if(m_unreadable, [&](const auto& entry) { return entry.first == device; }) > 0;
}

void PedalService::drop(PedalReader* reader)
{
    const auto found = std::find_if(m_connections.begin(), m_connections.end(),
                                    [&](const Connection& c) { return c.reader.get() == reader; });
    if (found == m_connections.end())
        return;
    // The reader is in the middle of raising Ended: it goes once that is over.
    found->reader.release()->deleteLater();
    m_connections.erase(found);
    Changed.raise();
}

QStringList PedalService::connected() const
{
    QStringList names;
    for (const Connection& connection : m_connections)
        names.append(QString::fromUtf8(connection.model->name));
    return names;
}

QStringList PedalService::unreadable() const
{
    QStringList names;
    for (const auto& entry : m_unreadable)
        names.append(QString::fromUtf8(entry.second->name));
    return names;
}

} // namespace pedal
