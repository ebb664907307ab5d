#pragma once

#include <QString>

namespace pedal {

// The udev rule that lets the user logged in at the seat open the known foot controls' hidraw
// nodes (systemd's uaccess tag, applied by 73-seat-late.rules, so the name sorts before it).
inline constexpr char UdevRuleFileName[] = "70-horchpult-pedals.rules";

// The rule's text, one line for each model in the table.
QString UdevRule();

// The AppStream lines that tell software centres the program serves these devices, one
// <modalias> for each model in the table.
QString ModaliasProvides();

} // namespace pedal
