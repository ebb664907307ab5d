#include "PedalCommands.h"

namespace pedal {

PedalCommands::PedalCommands(Commands commands) : m_commands(std::move(commands))
{
    for (QTimer* repeat : {&m_backRepeat, &m_forwardRepeat})
        repeat->setInterval(RepeatMs);
    QObject::connect(&m_backRepeat, &QTimer::timeout, [this] { m_commands.back(); });
    QObject::connect(&m_forwardRepeat, &QTimer::timeout, [this] { m_commands.forward(); });
}

int PedalCommands::indexOf(Pedal pedal)
{
    return pedal == Left ? 0 : pedal == Middle ? 1 : pedal == Right ? 2 : 3;
}

QTimer* PedalCommands::repeatOf(Pedal pedal)
{
    return pedal == Left ? &m_backRepeat : pedal == Right ? &m_forwardRepeat : nullptr;
}

int PedalCommands::holds(Pedal pedal) const
{
    return m_holds[indexOf(pedal)];
}

void PedalCommands::press(Pedal pedal)
{
    if (m_holds[indexOf(pedal)]++ > 0)
        return;
    switch (pedal) {
    case Middle:
        m_commands.play();
        break;
    case Left:
        m_commands.back();
        break;
    case Right:
        m_commands.forward();
        break;
    case Top:
        m_commands.timestamp();
        break;
    }
    if (QTimer* repeat = repeatOf(pedal))
        repeat->start();
}

void PedalCommands::release(Pedal pedal)
{
    int& holds = m_holds[indexOf(pedal)];
    if (holds == 0 || --holds > 0)
        return;
    if (QTimer* repeat = repeatOf(pedal))
        repeat->stop();
    if (pedal == Middle)
        m_commands.pause();
}

} // namespace pedal
