#pragma once

#include <QWidget>

#include <atomic>
#include <cstddef>
#include <memory>

struct mpv_render_context;

namespace player {

class MpvCore;

// The picture: mpv's software renderer drawing into an image that this widget paints. Without
// OpenGL the window needs no GL context, which would cost start-up time and some 80 MiB of
// driver memory for a picture a few hundred pixels wide. Black until a core is attached; the
// render context then holds the core, so the core outlives it. mpv's update callback only
// queues a call to the GUI thread.
class MpvVideo final : public QWidget {
    Q_OBJECT
public:
    explicit MpvVideo(QWidget* parent);
    ~MpvVideo() override;

    // Raises EngineFailure if mpv refuses the render context.
    void attach(std::shared_ptr<MpvCore> core);

    // For a GUI thread that waits on the core: takes the frames mpv's video output waits for,
    // unseen; they are painted once the event loop runs again.
    void serviceWhileBlocked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct FreeMemory {
        void operator()(unsigned char* pixels) const;
    };

    static void onUpdate(void* video) noexcept;
    void frameWanted();
    void skipFrame();

    std::shared_ptr<MpvCore> m_core;
    mpv_render_context* m_render = nullptr;
    std::atomic<bool> m_updateQueued{false};
    // The frame's pixels, rows aligned as mpv's scaler likes them.
    std::unique_ptr<unsigned char[], FreeMemory> m_pixels;
    QSize m_frameSize;
    std::size_t m_stride = 0;
};

} // namespace player
