#include "frm1.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace app {

frm1::frm1(platform::Desktop& desktop, platform::LastResort& lastResort)
    : m_desktop(desktop), m_lastResort(lastResort)
{
    setObjectName(QStringLiteral("frm1"));
    setWindowTitle(QStringLiteral("horchpult"));
    BuildMenu();
    m_hWnd = m_desktop.RegisterWindow(*this);
}

frm1::~frm1()
{
    m_desktop.WindowDestroyed(m_hWnd);
}

void frm1::BuildMenu()
{
    datei = menuBar()->addMenu(QStringLiteral("File"));
    datei->setObjectName(QStringLiteral("datei"));
    ende = datei->addAction(QStringLiteral("quit"));
    ende->setObjectName(QStringLiteral("ende"));
    ende->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(ende, &QAction::triggered, this, m_lastResort.Guard([this] { ende_Click(); }));
}

} // namespace app
