#pragma once

#include "Desktop.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace platform {

// The file-open dialog as the window uses it: set Flags, call ShowOpen, read FileName. A
// cancelled dialog leaves FileName empty, so a cancel never opens the earlier file again.
class CommonDialog {
public:
    CommonDialog(Desktop& desktop, QWidget* owner) : m_desktop(desktop), m_owner(owner) {}

    std::uint32_t Flags = 0;
    QString FileName;

    void ShowOpen() { FileName = m_desktop.ChooseFile(m_owner, Flags); }

private:
    Desktop& m_desktop;
    QWidget* m_owner;
};

} // namespace platform
