#pragma once

#include "Models.h"
#include "PedalReader.h"

#include "platform/Event.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QSocketNotifier;
struct udev;
struct udev_device;
struct udev_monitor;

namespace pedal {

// The foot controls plugged in. start() lists the hidraw devices of the known models through
// libudev and opens each; a udev monitor, read on the GUI thread, follows them being plugged in
// and out. A device of a known model that cannot be opened (no udev rule gives the user access)
// is kept as unreadable until it is unplugged. Without udev (no /sys, no netlink socket) no
// pedal is found and nothing fails.
//
// GUI thread only. The service owns its readers and the descriptors they read; destroying it
// raises no event, so it may outlive or predecease whoever listens.
class PedalService {
public:
    PedalService();
    ~PedalService();
    PedalService(const PedalService&) = delete;
    PedalService& operator=(const PedalService&) = delete;

    void start();
    // Reads a foot control of this model from an open descriptor, which the service then owns:
    // what start() does with each device it opens.
    void read(int fd, const Model& model, const QString& device = {});

    // The models of the foot controls being read, and of those found but not readable, in the
    // order they were plugged in.
    QStringList connected() const;
    QStringList unreadable() const;

    platform::Event<Pedal> Pressed;
    platform::Event<Pedal> Released;
    // connected() or unreadable() changed.
    platform::Event<> Changed;

private:
    struct Connection {
        QString device;
        const Model* model;
        std::unique_ptr<PedalReader> reader;
    };

    void add(udev_device* device);
    void remove(const QString& device);
    void receiveUevents();
    void drop(PedalReader* reader);
    // Whether the device was listed as unreadable.
    bool forgetUnreadable(const QString& device);

    std::shared_ptr<udev> m_udev;
    std::shared_ptr<udev_monitor> m_monitor;
    std::unique_ptr<QSocketNotifier> m_uevents;
    std::vector<Connection> m_connections;
    // Device node → model, for devices found but not readable.
    std::vector<std::pair<QString, const Model*>> m_unreadable;
};

} // namespace pedal
