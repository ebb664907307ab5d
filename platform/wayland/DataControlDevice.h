#pragma once

#include <QByteArray>

#include <memory>
#include <vector>

struct wl_display;

namespace platform {

// A Wayland connection of its own on which a privileged client follows one seat's selections
// through a data-control device: ext-data-control-v1 where the compositor has it, else
// zwlr_data_control_manager_v1 version 2 or later (the first with the primary selection). It
// keeps the offers of the primary selection and the clipboard as the compositor announces them,
// once Pump() has read its events. GUI thread only.
class DataControlDevice {
public:
    enum class Selection { Primary, Clipboard };

    // Connects to $WAYLAND_DISPLAY and binds the first seat's device, waiting for the compositor
    // at most timeoutMs in all. nullptr without a Wayland display, without either protocol, or
    // when the compositor does not answer in time.
    static std::unique_ptr<DataControlDevice> Connect(int timeoutMs);
    ~DataControlDevice();
    DataControlDevice(const DataControlDevice&) = delete;
    DataControlDevice& operator=(const DataControlDevice&) = delete;

    // The connection's socket: readable when the compositor has sent something.
    int Fd() const;
    // Reads and handles whatever the compositor has sent, without waiting. False, now and for
    // good, once the connection has failed or the compositor has ended the device.
    bool Pump();
    // The MIME types the selection is offered in now; empty when nothing holds it.
    const std::vector<QByteArray>& MimeTypes(Selection selection) const;
    // Asks the selection's owner to write it as mimeType into fd (which the caller keeps and
    // closes) and sends the request at once. False when the connection has failed.
    bool Receive(Selection selection, const QByteArray& mimeType, int fd);

    // The protocol-specific device, ext or wlr.
    class Binding;

private:
    DataControlDevice(wl_display* display, std::unique_ptr<Binding> binding);

    wl_display* m_display;
    std::unique_ptr<Binding> m_binding;
    bool m_failed = false;
};

} // namespace platform
