#include "MediaPlayer.h"

#include "platform/Twips.h"

#include <QWidget>

namespace player {

void MediaPlayer::setLeft(float twips)
{
    m_left = twips;
    placeWidget();
}

void MediaPlayer::setTop(float twips)
{
    m_top = twips;
    placeWidget();
}

void MediaPlayer::setWidth(float twips)
{
    m_width = twips;
    placeWidget();
}

void MediaPlayer::setHeight(float twips)
{
    m_height = twips;
    placeWidget();
}

void MediaPlayer::placeWidget()
{
    QWidget& w = widget();
    w.setGeometry(platform::Twips::ToPixels(QRectF(m_left, m_top, m_width, m_height), &w));
}

} // namespace player
