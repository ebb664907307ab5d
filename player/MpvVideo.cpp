#include "MpvVideo.h"

#include "MpvCore.h"
#include "MpvLibrary.h"
#include "PlayerErrors.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

#include <cstdlib>
#include <utility>

namespace player {

namespace {

constexpr std::size_t RowAlignment = 64;
constexpr int BytesPerPixel = 4;
// Blue, green, red and an unused byte: QImage::Format_RGB32 on a little-endian machine.
constexpr const char* PixelFormat = "bgr0";

} // namespace

void MpvVideo::FreeMemory::operator()(unsigned char* pixels) const
{
    std::free(pixels);
}

MpvVideo::MpvVideo(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MpvVideo::~MpvVideo()
{
    if (m_render == nullptr)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_drawing.join();
    // Returns only once no update callback runs any more.
    Mpv().render_context_set_update_callback(m_render, nullptr, nullptr);
    Mpv().render_context_free(m_render);
}

void MpvVideo::attach(std::shared_ptr<MpvCore> core)
{
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* render = nullptr;
    const int result = Mpv().render_context_create(&render, core->handle(), params);
    if (result < 0)
        throw MakePlayerError(PlayerError::EngineFailure,
                              QStringLiteral("the picture cannot be drawn: %1").arg(QString::fromUtf8(Mpv().error_string(result))));
    m_core = std::move(core);
    m_render = render;
    m_target = (QSizeF(size()) * devicePixelRatioF()).toSize();
    m_drawing = std::thread([this] { drawFrames(); });
    Mpv().render_context_set_update_callback(m_render, &MpvVideo::onUpdate, this);
}

void MpvVideo::resizeEvent(QResizeEvent*)
{
    const std::lock_guard lock(m_mutex);
    m_target = (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void MpvVideo::onUpdate(void* video) noexcept
{
    auto* self = static_cast<MpvVideo*>(video);
    {
        const std::lock_guard lock(self->m_mutex);
        self->m_updateWanted = true;
    }
    self->m_wake.notify_one();
}

void MpvVideo::drawFrames()
{
    Frame drawn;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_updateWanted || m_redrawWanted || m_stopping; });
        if (m_stopping)
            return;
        const bool updated = std::exchange(m_updateWanted, false);
        const bool redraw = std::exchange(m_redrawWanted, false);
        const QSize target = m_target;
        lock.unlock();
        // mpv asks for render_context_update after each of its update callbacks.
        const bool frame = updated && (Mpv().render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) != 0;
        if (frame || redraw)
            drawInto(drawn, target);
        lock.lock();
        if (!(frame || redraw) || drawn.size.isEmpty())
            continue;
        std::swap(drawn, m_shown);
        if (!m_repaintQueued) {
            m_repaintQueued = true;
            QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
        }
    }
}

void MpvVideo::drawInto(Frame& frame, const QSize& size)
{
    if (size != frame.size) {
        frame.stride = (static_cast<std::size_t>(size.width()) * BytesPerPixel + RowAlignment - 1) / RowAlignment * RowAlignment;
        frame.pixels.reset(size.isEmpty() ? nullptr
                                          : static_cast<unsigned char*>(std::aligned_alloc(RowAlignment, frame.stride * size.height())));
        frame.size = frame.pixels ? size : QSize();
    }
    if (frame.size.isEmpty()) {
        // mpv's video output waits for each frame to be taken, drawn or not.
        int skip = 1;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        Mpv().render_context_render(m_render, params);
        return;
    }
    int surface[2] = {frame.size.width(), frame.size.height()};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, surface},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>(PixelFormat)},
        {MPV_RENDER_PARAM_SW_STRIDE, &frame.stride},
        {MPV_RENDER_PARAM_SW_POINTER, frame.pixels.get()},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    Mpv().render_context_render(m_render, params);
}

void MpvVideo::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const std::lock_guard lock(m_mutex);
    m_repaintQueued = false;
    // While paused mpv sends no new frame: after a resize the one shown is drawn again at the
    // new size.
    if (m_render != nullptr && m_shown.size != m_target) {
        m_redrawWanted = true;
        m_wake.notify_one();
    }
    if (m_shown.size.isEmpty())
        return;
    QImage image(m_shown.pixels.get(), m_shown.size.width(), m_shown.size.height(),
                 static_cast<qsizetype>(m_shown.stride), QImage::Format_RGB32);
    image.setDevicePixelRatio(devicePixelRatioF());
    painter.drawImage(0, 0, image);
}

} // namespace player
