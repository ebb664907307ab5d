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
    Mpv().render_context_set_update_callback(m_render, &MpvVideo::onUpdate, this);
}

void MpvVideo::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    const QSize size = (QSizeF(this->size()) * ratio).toSize();
    if (m_render == nullptr || size.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (size != m_frameSize) {
        m_stride = (static_cast<std::size_t>(size.width()) * BytesPerPixel + RowAlignment - 1) / RowAlignment * RowAlignment;
        m_pixels.reset(static_cast<unsigned char*>(std::aligned_alloc(RowAlignment, m_stride * size.height())));
        m_frameSize = m_pixels ? size : QSize();
        if (!m_pixels) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
    }
    int surface[2] = {size.width(), size.height()};
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, surface},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>(PixelFormat)},
        {MPV_RENDER_PARAM_SW_STRIDE, &m_stride},
        {MPV_RENDER_PARAM_SW_POINTER, m_pixels.get()},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    Mpv().render_context_render(m_render, params);
    QImage frame(m_pixels.get(), size.width(), size.height(), static_cast<qsizetype>(m_stride), QImage::Format_RGB32);
    frame.setDevicePixelRatio(ratio);
    painter.drawImage(0, 0, frame);
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
    if ((Mpv().render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) == 0)
        return;
    if (isVisible() && !window()->isMinimized() && !size().isEmpty())
        update();
    else
        // Qt paints nothing it cannot show, but mpv's video output waits for each frame to be taken.
        skipFrame();
}

void MpvVideo::serviceWhileBlocked()
{
    if (m_render == nullptr || !m_updateQueued.exchange(false))
        return;
    if ((Mpv().render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME) == 0)
        return;
    skipFrame();
    update();
}

void MpvVideo::skipFrame()
{
    int skip = 1;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    Mpv().render_context_render(m_render, params);
}

} // namespace player
