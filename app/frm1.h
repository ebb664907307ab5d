#pragma once

#include "hotkeys/cRegHotKey.h"
#include "platform/Desktop.h"
#include "platform/LastResort.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

class QAction;
class QMenu;

namespace app {

// The program's one window. It owns its controls and its hot-key registry; its destruction
// reaches the registry as WM_DESTROY before anything of the window goes. Every entry point from
// Qt into its handlers runs inside the last resort.
class frm1 final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::int16_t True = -1;
    static constexpr std::int16_t False = 0;

    frm1(platform::Desktop& desktop, platform::LastResort& lastResort);
    ~frm1() override;

    // Runs once, before the window is first shown; a failure goes to the caller.
    void Form_Load();

    platform::HWND Handle() const { return m_hWnd; }
    hotkeys::cRegHotKey* HotKeys() const { return m_cHotKey.get(); }
    std::int16_t Geladen() const { return geladen; }

private:
    void BuildMenu();
    void ende_Click();
    void m_cHotKey_HotKeyPress(const QString& sName, std::int32_t eModifiers, std::int32_t eKey);

    platform::Desktop& m_desktop;
    platform::LastResort& m_lastResort;
    platform::HWND m_hWnd = 0;

    QString media;
    std::int16_t geladen = False;
    std::unique_ptr<hotkeys::cRegHotKey> m_cHotKey;

    QMenu* datei = nullptr;
    QAction* ende = nullptr;
};

} // namespace app
