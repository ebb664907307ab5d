#include "MpvVideo.h"

#include "MpvCore.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

#include <mpv/render_gl.h>

#include <cmath>
#include <utility>

namespace player {

namespace {

void* getProcAddress(void*, const char* name)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (context == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(context->getProcAddress(name));
}

} // namespace

MpvVideo::MpvVideo(std::shared_ptr<MpvCore> core, QWidget* parent)
    : QOpenGLWidget(parent), m_core(std::move(core))
{
    setFocusPolicy(Qt::NoFocus);
}

MpvVideo::~MpvVideo()
{
    freeRenderContext();
    // QOpenGLWidget's destructor deletes the GL context after this object is gone.
    if (context() != nullptr)
        disconnect(context(), nullptr, this, nullptr);
}

void MpvVideo::initializeGL()
{
    // Each GL context (first show, or after a move to another window) gets its own render
    // context, which must go before the GL context does.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &MpvVideo::freeRenderContext,
            Qt::DirectConnection);

    mpv_opengl_init_params glInit{&getProcAddress, nullptr};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* render = nullptr;
    if (mpv_render_context_create(&render, m_core->handle(), params) >= 0) {
        m_render = render;
        mpv_render_context_set_update_callback(m_render, &MpvVideo::onUpdate, this);
    }
    emit renderContextAttempted();
}

void MpvVideo::paintGL()
{
    if (m_render == nullptr) {
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    mpv_opengl_fbo fbo{static_cast<int>(defaultFramebufferObject()),
                       static_cast<int>(std::lround(width() * ratio)),
                       static_cast<int>(std::lround(height() * ratio)), 0};
    int flipY = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
        {MPV_RENDER_PARAM_FLIP_Y, &flipY},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(m_render, params);
}

void MpvVideo::onUpdate(void* video) noexcept
{
    auto* self = static_cast<MpvVideo*>(video);
    if (!self->m_updateQueued.exchange(true))
        QMetaObject::invokeMethod(self, [self] { self->frameWanted(); }, Qt::QueuedConnection);
}

void MpvVideo::frameWanted()
{
    m_updateQueued = false;
    if (m_render == nullptr || (mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) == 0)
        return;
    if (isVisible() && !window()->isMinimized())
        update();
    else
        // Qt paints nothing it cannot show, but mpv's video output waits for each frame to be taken.
        skipFrame();
}

void MpvVideo::serviceWhileBlocked()
{
    if (m_render == nullptr || !m_updateQueued.exchange(false))
        return;
    makeCurrent();
    const bool frame = (mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) != 0;
    doneCurrent();
    if (frame) {
        skipFrame();
        update();
    }
}

void MpvVideo::skipFrame()
{
    makeCurrent();
    int skip = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context_render(m_render, params);
    doneCurrent();
}

void MpvVideo::freeRenderContext()
{
    if (m_render == nullptr)
        return;
    makeCurrent();
    // Returns only once no update callback runs any more.
    mpv_render_context_set_update_callback(m_render, nullptr, nullptr);
    mpv_render_context_free(m_render);
    m_render = nullptr;
    doneCurrent();
}

} // namespace player
