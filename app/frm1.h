#pragma once

#include "Remembered.h"
#include "Timestamp.h"

#include "hotkeys/cRegHotKey.h"
#include "pedal/PedalCommands.h"
#include "platform/CommonDialog.h"
#include "platform/Desktop.h"
#include "platform/LastResort.h"
#include "platform/Timer.h"
#include "player/MediaPlayer.h"

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QToolBar;

namespace waveform {
class Waveform;
class WaveformView;
} // namespace waveform

namespace pedal {
class PedalService;
}

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
    // Timer1's period while the window follows playback; 0 stops it.
    static constexpr int FollowPlayback = 200;
    static constexpr int TimerStopped = 0;

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

    // Opens a file named outside the window, as a desktop's "Open with" names it, the way
    // File > open opens the file chosen in its dialog; like the dialog it takes only an
    // existing file.
    void OpenGivenFile(const QString& path);

    // The commands of F3 and F2 for the desktop's media controls; like the hot keys they run
    // only once a medium is loaded.
    void PlayCommand();
    void PauseCommand();
    // F1's step back and the >> button's step forward, for the foot pedals; only once a medium
    // is loaded.
    void BackCommand();
    void ForwardCommand();
    // The window's seek sequence, by seconds from the current position or to a position in
    // seconds, never below 0; only once a medium is loaded.
    void SeekByCommand(double seconds);
    void SeekToCommand(double seconds);
    // F4's timestamp, for the foot pedals; only once a medium is loaded.
    void TimestampCommand();
    // The rate of the speed step shown.
    double PlaybackRate() const;

    // A button beside a notice: its caption, and what pressing it does.
    struct NoticeAction {
        QString caption;
        std::function<void()> run;
    };
    // Tells the user, in a line below the controls rather than in a box, of something this desktop
    // or its devices limit; each text is shown once however often it is given, until withdrawn.
    // A notice may offer one action; the button beside the line offers the newest notice's.
    void ShowNotice(const QString& text, const NoticeAction& action = {});
    void WithdrawNotice(const QString& text);

    // Lets the foot pedals drive the player and shows which are plugged in. The service must
    // raise nothing once the window is gone: make it before the window, so it goes after.
    void AttachPedals(pedal::PedalService& pedals);

protected:
    // Text dragged onto the window from an editor: the window goes to its first timestamp.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

signals:
    // The speed step or the file shown has changed; the play state has the player's own event.
    void StatusChanged();

private:
    void BuildMenu();
    // The player's menu entries for timestamps: "Insert timestamp (F4)", which puts the timestamp
    // on the clipboard (the menu has taken the focus from the editor), and the choice of format,
    // which holds for the run.
    void AddTimestampEntries(QMenu& menu);
    // The player's menu entries for repeats: "Repeat the last 5 s (Shift+F1)", a check entry that
    // starts and ends a repeat and shows whether one runs, and the choice of its length.
    void AddRepeatEntries(QMenu& menu);
    // "Remember between runs", off unless the user turned it on in an earlier run.
    void AddRememberEntry(QMenu& menu);
    void BuildControls();
    void ConnectHandlers();

    // Runs steps; any failure in them shows failureMessage and ends the handler. Returns
    // whether the steps ran to their end.
    bool Trap(const QString& failureMessage, const std::function<void()>& steps);
    // The message box of a trapped failure; none while a box with the same text is open.
    void ShowFailure(const QString& text);
    std::int16_t SpeedStep() const;

    void ende_Click();

    // One system-wide key: its name in the registry (the desktop's id for it), the key with its
    // modifiers and the registry's flags, the window's label that names it (if any), what the
    // desktop shows for it, and what it does. A key with a notice for when another program holds
    // it is one the program can start without; the others it cannot.
    struct HotKeyRow {
        const char* name;
        std::uint32_t vk;
        std::uint32_t modifiers;
        std::uint32_t flags;
        const char* label;
        const char* description;
        void (frm1::*command)();
        const char* heldElsewhere;
    };
    // In the order they are registered.
    static std::span<const HotKeyRow> HotKeyTable();
    static const HotKeyRow* FindHotKey(const std::function<bool(const HotKeyRow&)>& matches);

    void RegisterHotKeys();
    void DescribeHotKeys();
    void m_desktop_HotKeysBound(const std::vector<platform::HotKeyTrigger>& triggers);

    void m_cHotKey_HotKeyPress(const QString& sName, std::int32_t eModifiers, std::int32_t eKey);
    void PlayMedia();
    void PauseMedia();
    void RewindMedia();
    // Repeats the last seconds heard; again, ends the repeat and plays on from the passage's end.
    void RepeatMedia();
    void wiederholen_Click();
    // The notice and the menu entry that say whether a repeat runs.
    void ShowRepeat();
    // Where stepping back stops: a repeat's start, else the medium's.
    double EarliestPosition() const;
    // F4: types the position as a timestamp into the program that has the focus, or where the
    // desktop does not let the window type, puts it on the clipboard.
    // The position now in the chosen format; none when the player fails, which it has shown.
    std::optional<QString> TimestampNow();
    void InsertTimestamp();
    void zeitmarke_Click();
    void CopyTimestamp(const QString& text, const QString& line);

    // "Go to selected timestamp (Shift+F4)"; the window also takes timestamps dropped on it.
    void AddJumpEntry(QMenu& menu);
    void zeitsprung_Click();
    // Shift+F4: goes to the first timestamp in the text selected in the program that has the
    // focus, keeping the play state, and says where it went.
    void GoToSelectedTimestamp();
    void GoToTimestampRead(const platform::SelectionText& read);
    void GoToTimestampIn(const QByteArray& text);
    // A notice about the last jump; it goes by itself after a few seconds.
    void ShowJumpNotice(const QString& text);

    void neu_Click();
    // What File > open does with the name its dialog yields.
    void OpenChosenFile(const QString& chosen);
    void LoadMedia();
    void Timer1_Timer();
    void wm1_PlayStateChange(std::int32_t NewState);

    void ShowPedals();

    void ShowNotices();
    NoticeAction OfferedAction() const;
    void noticeAction_Click();

    // "Last time you stopped at 00:41:23." with "Go on there", for a recording left there in an
    // earlier run; nothing moves by itself.
    void OfferKeptPosition();
    // Goes there paused: F3 then plays from there.
    void GoOnThere(double seconds);
    void WithdrawResumeOffer();
    // Keeps where the recording is now, once the user has played or moved in it; written at once,
    // or while playing every few seconds.
    void KeepPosition(bool whilePlaying);

    // "Waveform": a strip below the controls, made when first shown; the window grows by its
    // height and no control moves. Hidden at start unless it showed when the user last chose to
    // remember.
    void AddWaveformEntry(QMenu& menu);
    void wellenform_Click();
    void ShowWaveform(bool shown);
    void BuildWaveform();
    // The strip shows the recording loaded, if it shows.
    void OpenWaveform();
    // The strip follows the position, the play state and the repeat.
    void FollowWaveform();
    // Complete waveforms are kept on disk only while remembering is on; turned off, they go.
    void PlaceWaveformCache();
    static QString WaveformCacheFolder();

    static QString ConfigFolder();
    void remember_Click();
    // Keeps the choices, if the user asked to remember them.
    void KeepChoices();
    Choices ChoicesNow() const;

    void Check1_Click();
    void autorewind_Change();

    void ffw_Click();
    void fffw_Click();
    void but_goto_Click();
    // Whether the position was set; a failure has been shown.
    bool Seek(const QString& failureMessage, const std::function<double()>& target);

    void plus_Click();
    void minus_Click();
    void ChangeSpeedStep(std::int16_t change);

    void m_left_Click();
    void m_right_Click();
    void m_plus_Click();
    void m_minus_Click();

    void tutor_Click();
    void Command2_Click();
    void about_Click();
    void Command1_Click();

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
    QLabel* notice = nullptr;
    QPushButton* noticeAction = nullptr;
    QStringList m_notices;
    QHash<QString, NoticeAction> m_noticeActions; // by notice
    QString m_unboundNotice;
    platform::Event<const std::vector<platform::HotKeyTrigger>&>::Connection m_hotKeysBound;
    QHash<std::uint32_t, QString> m_keyToolTips; // as the window made them, by virtual key
    Remembered m_remembered;
    TimestampFormat m_timestampFormat = TimestampFormat::Hashes;
    int m_repeatSeconds = Choices{}.repeatSeconds;
    QAction* wiederholen = nullptr;
    QAction* remember = nullptr;
    QString m_repeatNotice;
    QString m_timestampNotice;
    QString m_jumpNotice;
    QString m_resumeNotice;
    Recording m_recording;
    // Whether the user has played or moved in the recording since it was opened: until then its
    // kept position stands.
    bool m_positionMoved = false;
    QTimer* m_jumpNoticeTimer = nullptr;
    QAction* wellenform = nullptr;
    QToolBar* m_waveformBar = nullptr;
    waveform::WaveformView* m_waveformView = nullptr;
    std::unique_ptr<waveform::Waveform> m_waveform;
    QTimer* m_waveformTimer = nullptr;
    // The texts of the failure boxes open now.
    QStringList m_failuresShown;

    pedal::PedalService* m_pedals = nullptr;
    std::unique_ptr<pedal::PedalCommands> m_pedalCommands;

    std::unique_ptr<player::MediaPlayer> wm1;
    platform::Timer Timer1;
    platform::CommonDialog CmD1;
};

} // namespace app
