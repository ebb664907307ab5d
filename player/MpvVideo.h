#pragma once

#include <QOpenGLWidget>

#include <atomic>
#include <memory>

struct mpv_render_context;

namespace player {

class MpvCore;

// The picture: mpv's OpenGL render context in a QOpenGLWidget. The render context exists from
// initializeGL (the first time the widget is shown with a size) until the widget or its GL
// context goes; mpv can only load a file while it exists. It holds the core, so the core
// outlives it. mpv's update callback only queues a call to the GUI thread.
class MpvVideo final : public QOpenGLWidget {
    Q_OBJECT
public:
    MpvVideo(std::shared_ptr<MpvCore> core, QWidget* parent);
    ~MpvVideo() override;

    bool hasRenderContext() const { return m_render != nullptr; }
    // For a GUI thread that waits on the core: runs what mpv's video output asks of the render
    // thread and takes its frames unseen, which it would otherwise wait for; they are painted
    // once the event loop runs again.
    void serviceWhileBlocked();

signals:
    // initializeGL has run, with or without success.
    void renderContextAttempted();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void onUpdate(void* video) noexcept;
    void frameWanted();
    void skipFrame();
    void freeRenderContext();

    std::shared_ptr<MpvCore> m_core;
    mpv_render_context* m_render = nullptr;
    std::atomic<bool> m_updateQueued{false};
};

} // namespace player
