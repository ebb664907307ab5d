#pragma once

#include <QSize>
#include <QWidget>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

struct mpv_render_context;

namespace player {

class MpvCore;

// The picture: mpv's software renderer draws each frame on a thread of its own into an image
// that this widget paints. Without OpenGL the window needs no GL context, which would cost
// start-up time and some 80 MiB of driver memory for a picture a few hundred pixels wide. The
// drawing thread makes no call into mpv but the render ones, so the GUI thread's calls into the
// core never wait for a frame to be taken, nor the core for the GUI thread; and it is the
// drawing thread that mpv holds until each frame's display time.
//
// Black until a core is attached; the render context then holds the core, so the core outlives
// it.
class MpvVideo final : public QWidget {
    Q_OBJECT
public:
    explicit MpvVideo(QWidget* parent);
    ~MpvVideo() override;

    // Raises EngineFailure if mpv refuses the render context.
    void attach(std::shared_ptr<MpvCore> core);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct FreeMemory {
        void operator()(unsigned char* pixels) const;
    };
    // Pixels in rows aligned as mpv's scaler likes them.
    struct Frame {
        std::unique_ptr<unsigned char[], FreeMemory> pixels;
        QSize size;
        std::size_t stride = 0;
    };

    static void onUpdate(void* video) noexcept;
    void drawFrames();
    void drawInto(Frame& frame, const QSize& size);

    std::shared_ptr<MpvCore> m_core;
    mpv_render_context* m_render = nullptr;
    std::thread m_drawing;

    // Shared with the drawing thread.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // mpv has something new to show; the frame shown is wanted at another size.
    bool m_updateWanted = false;
    bool m_redrawWanted = false;
    bool m_stopping = false;
    QSize m_target;
    Frame m_shown;
    bool m_repaintQueued = false;
};

} // namespace player
