#include "frm1.h"

#include "platform/Error.h"

#include <QAction>
#include <QMenu>
#include <QStandardPaths>

namespace app {

namespace {
const QString RememberTip = QStringLiteral("keep the repeat length, the timestamp format, whether the waveform shows "
                                           "and where each recording was left in %1, and the waveforms; turned off, "
                                           "Horchpult keeps nothing and removes what it kept");
} // namespace

QString frm1::ConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

void frm1::AddRememberEntry(QMenu& menu)
{
    menu.addSeparator();
    remember = menu.addAction(QStringLiteral("Remember between runs"));
    remember->setObjectName(QStringLiteral("remember"));
    remember->setCheckable(true);
    remember->setChecked(m_remembered.on());
    remember->setToolTip(RememberTip.arg(m_remembered.folder()));
    connect(remember, &QAction::triggered, this, m_lastResort.Guard([this] { remember_Click(); }));
}

void frm1::remember_Click()
{
    try {
        if (remember->isChecked())
            m_remembered.turnOn(ChoicesNow());
        else
            m_remembered.turnOff();
        remember->setToolTip(RememberTip.arg(m_remembered.folder()));
    } catch (const platform::Error& error) {
        remember->setToolTip(QStringLiteral("Horchpult cannot remember between runs: %1.").arg(error.description()));
    }
    remember->setChecked(m_remembered.on());
    PlaceWaveformCache();
}

void frm1::KeepChoices()
{
    try {
        m_remembered.keep(ChoicesNow());
        if (m_remembered.on())
            remember->setToolTip(RememberTip.arg(m_remembered.folder()));
    } catch (const platform::Error& error) {
        remember->setToolTip(QStringLiteral("Horchpult could not keep the last change: %1.").arg(error.description()));
    }
}

Choices frm1::ChoicesNow() const
{
    return {m_repeatSeconds, m_timestampFormat, wellenform->isChecked()};
}

} // namespace app
