// The player's own menu: its transport and mute, as its buttons do them, and the sound choices.

#include "MpvPlayer.h"

#include "SoundChain.h"

#include "platform/LastResort.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>

namespace player {

void MpvPlayer::buildMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("playerMenu"));
    m_menu->setAccessibleName(QStringLiteral("Player"));
    m_menu->setToolTipsVisible(true);
    const auto entry = [this](const char* name, const QString& text, auto work) {
        QAction* action = m_menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, m_lastResort.Guard(std::move(work)));
        return action;
    };
    m_menuPlay = entry("playerMenuPlay", QStringLiteral("Play"), [this] { play(); });
    m_menuPause = entry("playerMenuPause", QStringLiteral("Pause"), [this] { pause(); });
    m_menuStop = entry("playerMenuStop", QStringLiteral("Stop"), [this] { m_stop->click(); });
    m_menuMute = entry("playerMenuMute", QStringLiteral("Mute"), [this] { m_mute->toggle(); });
    m_menuMute->setCheckable(true);
    m_menu->addSeparator();
    m_sound = new SoundChain(*m_menu);
    connect(m_menu, &QMenu::aboutToShow, this, [this] { refreshMenu(); });
}

void MpvPlayer::refreshMenu()
{
    const bool open = m_playPause->isEnabled();
    m_menuPlay->setEnabled(open && m_playState != Playing);
    m_menuPause->setEnabled(open && m_playState == Playing);
    m_menuStop->setEnabled(m_stop->isEnabled());
    m_menuMute->setEnabled(m_mute->isEnabled());
    m_menuMute->setChecked(m_mute->isChecked());
}

void MpvPlayer::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() != QContextMenuEvent::Keyboard) {
        m_menu->popup(event->globalPos());
    } else {
        // Opened from the keyboard, the menu opens at the control that has the focus.
        const QWidget* at = focusWidget() != nullptr ? focusWidget() : this;
        m_menu->popup(at->mapToGlobal(at->rect().center()));
    }
    event->accept();
}

void MpvPlayer::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu ||
                         (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
    if (!menuKey) {
        QWidget::keyPressEvent(event);
        return;
    }
    QContextMenuEvent open(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    contextMenuEvent(&open);
    event->accept();
}

} // namespace player
