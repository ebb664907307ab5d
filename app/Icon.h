#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The program's icon, drawn for each size so that 16 and 32 pixels stay crisp: an ear-shaped
// loudspeaker wave over a page of text lines.
QPixmap IconPixmap(int size);
QIcon HorchpultIcon();

} // namespace app
