#pragma once

#include "platform/SelectionReading.h"
#include "platform/wayland/DataControlDevice.h"

#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

namespace platform {

// Reading the selection where the compositor lets privileged clients control the data devices
// (KWin, sway and other wlroots compositors), on a Wayland connection of its own: the program
// itself mostly runs on X11 through XWayland, whose selections these compositors keep in step
// with their own. The owner writes the text into a pipe; whatever it has not written at the
// deadline is not waited for, and a text cut short by the deadline is no answer (half a
// timestamp may read as another time), while one cut at the limit is read. GUI thread only.
class DataControlSelection final : public SelectionReading {
public:
    // How long opening waits for the compositor at most, should it be stuck.
    static constexpr int ConnectMs = 1000;

    // nullptr without a Wayland display (WAYLAND_DISPLAY unset), when the compositor has neither
    // ext-data-control-v1 nor zwlr_data_control_manager_v1 version 2 (GNOME's has neither), or
    // when it does not answer within ConnectMs.
    static std::unique_ptr<DataControlSelection> Open();
    ~DataControlSelection() override;
    DataControlSelection(const DataControlSelection&) = delete;
    DataControlSelection& operator=(const DataControlSelection&) = delete;

    void Read(std::size_t limit, Done done) override;

private:
    explicit DataControlSelection(std::unique_ptr<DataControlDevice> device);
    // Reads what the owner has written so far, and ends the reading at the end or the limit.
    void TakeIn();
    void Finish(SelectionText::Outcome outcome);

    std::unique_ptr<DataControlDevice> m_device;
    QSocketNotifier m_events;
    // The reading under way: its pipe's read end (-1 when none runs), what came, and for whom.
    int m_pipe = -1;
    QSocketNotifier m_pipeReadable;
    QTimer m_deadline;
    std::size_t m_limit = 0;
    QByteArray m_bytes;
    QString m_source;
    Done m_done;
};

} // namespace platform
