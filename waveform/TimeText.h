#pragma once

#include <QString>

namespace waveform {

// A time as the waveform's tooltip and screen readers tell it: 00:01:23, or 00:01:23.4 with
// tenths (cut, not rounded). Below 0 counts as 0.
QString ClockText(double seconds, bool tenths);

// A time as the ruler labels it, as short as it goes: 0:05, 1:23, 1:02:03.
QString RulerText(double seconds);

} // namespace waveform
