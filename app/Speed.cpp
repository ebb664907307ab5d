#include "frm1.h"

#include "Speed.h"

#include "platform/Numbers.h"

#include <QLineEdit>

namespace app {

std::int16_t frm1::SpeedStep() const
{
    return platform::IntegerFromText(speed->text());
}

void frm1::plus_Click()
{
    ChangeSpeedStep(+1);
}

void frm1::minus_Click()
{
    ChangeSpeedStep(-1);
}

void frm1::ChangeSpeedStep(std::int16_t change)
{
    const std::int16_t step = SpeedStep();
    if (change > 0 ? step >= FastestStep : step <= SlowestStep)
        return;
    const auto changed = static_cast<std::int16_t>(step + change);
    // The player gets the rate before the box shows the step: a refused rate leaves the old step.
    wm1->setRate(RateOfStep(changed));
    speed->setText(platform::WriteNumber(changed));
}

} // namespace app
