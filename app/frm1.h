#pragma once

#include "hotkeys/cRegHotKey.h"
#include "platform/Desktop.h"
#include "platform/LastResort.h"
#include "platform/Timer.h"
#include "player/MediaPlayer.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace app {

// The program's one window. It owns its controls, the player wm1 and its hot-key registry; its
// destruction reaches the registry as WM_DESTROY before anything of the window goes. Every
// entry point from Qt into its handlers runs inside the last resort. Geometry is in twips.
class frm1 final : public QMainWindow {
    Q_OBJECT
public:
    static constexpr std::int16_t True = -1;
    static constexpr std::int16_t False = 0;
    static constexpr double ClientWidth = 8955;
    static constexpr double ClientHeight = 4770;

    frm1(platform::Desktop& desktop, platform::LastResort& lastResort,
         std::unique_ptr<player::MediaPlayer> player);
    ~frm1() override;

    // Runs once, before the window is first shown; a failure goes to the caller.
    void Form_Load();

    platform::HWND Handle() const { return m_hWnd; }
    hotkeys::cRegHotKey* HotKeys() const { return m_cHotKey.get(); }
    player::MediaPlayer& Player() const { return *wm1; }
    platform::Timer& PositionTimer() { return Timer1; }
    std::int16_t Geladen() const { return geladen; }
    const QString& Media() const { return media; }

private:
    void BuildMenu();
    void BuildControls();
    void ConnectHandlers();

    void ende_Click();
    void m_cHotKey_HotKeyPress(const QString& sName, std::int32_t eModifiers, std::int32_t eKey);

    platform::Desktop& m_desktop;
    platform::LastResort& m_lastResort;
    platform::HWND m_hWnd = 0;

    QString media;
    std::int16_t geladen = False;
    std::unique_ptr<hotkeys::cRegHotKey> m_cHotKey;

    QMenu* datei = nullptr;
    QAction* neu = nullptr;
    QAction* ende = nullptr;
    QMenu* help = nullptr;
    QAction* tutor = nullptr;
    QAction* about = nullptr;

    QPushButton* plus = nullptr;
    QPushButton* minus = nullptr;
    QLineEdit* speed = nullptr;
    QPushButton* but_goto = nullptr;
    QLineEdit* time_goto = nullptr;
    QLineEdit* time = nullptr;
    QPushButton* ffw = nullptr;
    QPushButton* fffw = nullptr;
    QPushButton* m_plus = nullptr;
    QPushButton* m_minus = nullptr;
    QPushButton* m_right = nullptr;
    QPushButton* m_left = nullptr;
    QLineEdit* autorewind = nullptr;
    QCheckBox* Check1 = nullptr;
    QLineEdit* Fileinfo = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* Command1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QPushButton* Command2 = nullptr;

    std::unique_ptr<player::MediaPlayer> wm1;
    platform::Timer Timer1;
};

} // namespace app
