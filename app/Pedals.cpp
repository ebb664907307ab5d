#include "frm1.h"

#include "pedal/Models.h"
#include "pedal/PedalService.h"
#include "pedal/UdevRule.h"

namespace app {

namespace {

QString UnreadableNotice(const QString& model)
{
    return QStringLiteral("The foot pedal %1 is plugged in but may not be read: install the udev rule %2 "
                          "(the package brings it), then unplug the pedal and plug it in again.")
        .arg(model, QString::fromLatin1(pedal::UdevRuleFileName));
}

} // namespace

// A pedal press does not restore a minimized window as a hot key does: the pedal is pressed and
// released dozens of times a minute, and a window kept minimized for a recording without
// picture would come up over the editor at every one of them.
void frm1::AttachPedals(pedal::PedalService& pedals)
{
    m_pedals = &pedals;
    const auto guarded = [this](void (frm1::*command)()) {
        return m_lastResort.Guard([this, command] { (this->*command)(); });
    };
    m_pedalCommands = std::make_unique<pedal::PedalCommands>(pedal::PedalCommands::Commands{
        guarded(&frm1::PlayCommand), guarded(&frm1::PauseCommand), guarded(&frm1::BackCommand),
        guarded(&frm1::ForwardCommand), guarded(&frm1::TimestampCommand)});
    pedals.Pressed.connect([this](pedal::Pedal pressed) { m_pedalCommands->press(pressed); });
    pedals.Released.connect([this](pedal::Pedal released) { m_pedalCommands->release(released); });
    pedals.Changed.connect([this] { m_lastResort.Run([this] { ShowPedals(); }); });
    ShowPedals();
}

void frm1::ShowPedals()
{
    wm1->showPedal(m_pedals->connected().join(QStringLiteral(", ")));
    const QStringList unreadable = m_pedals->unreadable();
    for (const pedal::Model& model : pedal::Models()) {
        const QString name = QString::fromUtf8(model.name);
        if (unreadable.contains(name))
            ShowNotice(UnreadableNotice(name));
        else
            WithdrawNotice(UnreadableNotice(name));
    }
}

} // namespace app
