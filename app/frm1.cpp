#include "frm1.h"

#include "Icon.h"
#include "Layout.h"
#include "MenuShortcuts.h"

#include "platform/Twips.h"
#include "waveform/Waveform.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>

#include <algorithm>
#include <vector>

namespace app {

namespace {

struct LabelSpec {
    Placement at;
    const char* caption;
    const char* tooltip;
};


constexpr double LineTop = 480;
constexpr double LineBottom = 1680;

// Labels and lines lie beneath every other control, so they are made first.
const LabelSpec WindowLabels[] = {
    {{"Label1", {3120, 0, 3495, 495}, 0}, "Horchpult 2.0", nullptr},
    {{"L", {360, 480, 1215, 255}, 14}, "speed", nullptr},
    {{"Label23", {2160, 480, 975, 255}, 41}, "time", nullptr},
    {{"Label18", {3600, 480, 975, 255}, 30}, "fast forward", nullptr},
    {{"Label20", {4920, 480, 975, 255}, 32}, "player size", nullptr},
    {{"Label19", {6000, 480, 1335, 255}, 31}, "player position", nullptr},
    {{"Label24", {7560, 480, 855, 495}, 42}, "auto rewind with pause", nullptr},
    {{"Label22", {3000, 840, 375, 255}, 40}, "sec.", nullptr},
    {{"Label15", {1560, 1320, 615, 255}, 25}, "time:", nullptr},
    {{"Label16", {3000, 1320, 375, 255}, 26}, "sec.", nullptr},
    {{"Label25", {8160, 960, 375, 255}, 44}, "sec.", nullptr},
    {{"Label14", {1800, 1920, 375, 255}, 22}, "File:", nullptr},
    {{"Label2", {1800, 2640, 1935, 255}, 1}, "back:   F1", "use function key F1 to rewind one second"},
    {{"Label4", {1800, 2880, 1575, 375}, 3}, "pause: F2", "use function key F2 to pause player"},
    {{"Label3", {1800, 3120, 1455, 375}, 2}, "play:    F3", "use function key F3 to play"},
};

const std::pair<const char*, double> Lines[] = {
    {"Line4", 120}, {"Line1_0", 1320}, {"Line1_1", 3360}, {"Line2", 4680},
    {"Line3", 5880}, {"Line5", 7200}, {"Line6", 8640},
};

const LabelSpec InstructionLabels[] = {
    {{"Label10", {240, 480, 2295, 375}, 17}, "(1) Open media file", nullptr},
    {{"Label12", {240, 720, 3255, 255}, 19}, "(2) Open your Texteditor", nullptr},
    {{"Label11", {240, 960, 3135, 495}, 18}, "(3) control media playback with F1, F2 or F3 while writing.", nullptr},
    {{"Label17", {240, 1440, 2655, 255}, 29}, "Fast forward: >> or >>> button", nullptr},
    {{"Label13", {240, 1800, 3135, 375}, 20}, "note that the speed function is not supported for all media formats", nullptr},
    {{"Label21", {240, 2280, 3255, 495}, 37}, "use position and size controls for videodisplay", nullptr},
};

const LabelSpec InfoLabels[] = {
    {{"Label6", {480, 720, 1575, 255}, 6}, "Horchpult team", nullptr},
    {{"Label8", {480, 960, 1695, 255}, 8}, "Transcription tools", nullptr},
    {{"Label7", {480, 1200, 1575, 255}, 7}, "Free software", nullptr},
    {{"Label9", {480, 1440, 1815, 255}, 9}, "horchpult@localhost", nullptr},
};

QLabel* MakeLabel(QWidget* parent, const LabelSpec& row)
{
    auto* label = new QLabel(QString::fromUtf8(row.caption), parent);
    Place(*label, row.at);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (row.tooltip != nullptr) {
        label->setToolTip(QString::fromUtf8(row.tooltip));
        label->setAccessibleDescription(label->toolTip());
    }
    return label;
}

QPushButton* MakeButton(QWidget* parent, const Placement& at, const char* caption, const char* tooltip)
{
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    Place(*button, at);
    button->setAutoDefault(false);
    if (tooltip != nullptr) {
        button->setToolTip(QString::fromUtf8(tooltip));
        button->setAccessibleDescription(button->toolTip());
    }
    return button;
}

QLineEdit* MakeTextBox(QWidget* parent, const Placement& at, const char* text, const char* tooltip,
                       Qt::Alignment alignment)
{
    auto* box = new QLineEdit(QString::fromUtf8(text), parent);
    Place(*box, at);
    box->setAccessibleName(box->objectName());
    box->setAlignment(alignment | Qt::AlignVCenter);
    box->setTextMargins(0, 0, 0, 0);
    if (tooltip != nullptr) {
        box->setToolTip(QString::fromUtf8(tooltip));
        box->setAccessibleDescription(box->toolTip());
    }
    return box;
}

QGroupBox* MakeFrame(QWidget* parent, const Placement& at, const char* caption)
{
    auto* frame = new QGroupBox(QString::fromUtf8(caption), parent);
    Place(*frame, at);
    frame->setAutoFillBackground(true);
    frame->hide();
    return frame;
}

} // namespace

frm1::frm1(platform::Desktop& desktop, platform::LastResort& lastResort,
           std::unique_ptr<player::MediaPlayer> player)
    : m_desktop(desktop), m_lastResort(lastResort), m_remembered(ConfigFolder()), wm1(std::move(player)),
      Timer1(this), CmD1(desktop, this)
{
    const Choices remembered = m_remembered.read();
    m_timestampFormat = remembered.timestampFormat;
    m_repeatSeconds = remembered.repeatSeconds;
    setObjectName(QStringLiteral("frm1"));
    setWindowTitle(QStringLiteral("horchpult"));
    setWindowIcon(HorchpultIcon());
    BuildMenu();
    BuildControls();
    AddTimestampEntries(wm1->contextMenu());
    AddJumpEntry(wm1->contextMenu());
    AddRepeatEntries(wm1->contextMenu());
    AddWaveformEntry(wm1->contextMenu());
    AddRememberEntry(wm1->contextMenu());
    ConnectHandlers();
    m_hWnd = m_desktop.RegisterWindow(*this);
    DescribeHotKeys();
}

frm1::~frm1()
{
    KeepPosition(false);
    m_hotKeysBound.disconnect();
    m_desktop.WindowDestroyed(m_hWnd);
}

void frm1::ConnectHandlers()
{
    const auto onClick = [this](QPushButton* button, void (frm1::*handler)()) {
        connect(button, &QPushButton::clicked, this, m_lastResort.Guard([this, handler] { (this->*handler)(); }));
    };
    const auto onMenu = [this](QAction* item, void (frm1::*handler)()) {
        connect(item, &QAction::triggered, this, m_lastResort.Guard([this, handler] { (this->*handler)(); }));
    };
    onMenu(neu, &frm1::neu_Click);
    onMenu(ende, &frm1::ende_Click);
    onMenu(tutor, &frm1::tutor_Click);
    onMenu(about, &frm1::about_Click);
    onClick(plus, &frm1::plus_Click);
    onClick(minus, &frm1::minus_Click);
    onClick(ffw, &frm1::ffw_Click);
    onClick(fffw, &frm1::fffw_Click);
    onClick(but_goto, &frm1::but_goto_Click);
    onClick(m_plus, &frm1::m_plus_Click);
    onClick(m_minus, &frm1::m_minus_Click);
    onClick(m_right, &frm1::m_right_Click);
    onClick(m_left, &frm1::m_left_Click);
    onClick(Command1, &frm1::Command1_Click);
    onClick(Command2, &frm1::Command2_Click);
    connect(Check1, &QCheckBox::stateChanged, this, m_lastResort.Guard([this] { Check1_Click(); }));
    connect(autorewind, &QLineEdit::textChanged, this, m_lastResort.Guard([this] { autorewind_Change(); }));
    Timer1.Tick.connect(m_lastResort.Guard([this] { Timer1_Timer(); }));
    wm1->PlayStateChange.connect([this](std::int32_t NewState) {
        m_lastResort.Run([this, NewState] { wm1_PlayStateChange(NewState); });
    });
    wm1->RepeatChange.connect([this] { m_lastResort.Run([this] { ShowRepeat(); }); });
    connect(speed, &QLineEdit::textChanged, this, &frm1::StatusChanged);
    connect(Fileinfo, &QLineEdit::textChanged, this, &frm1::StatusChanged);
}

bool frm1::Trap(const QString& failureMessage, const std::function<void()>& steps)
{
    try {
        steps();
        return true;
    } catch (...) {
        ShowFailure(failureMessage);
        return false;
    }
}

void frm1::ShowFailure(const QString& text)
{
    // Hot keys run while a box is open, and a held key repeats 25 times a second: each failed
    // repeat would nest one more box with the same words.
    if (m_failuresShown.contains(text))
        return;
    m_failuresShown.append(text);
    const auto closed = qScopeGuard([&] { m_failuresShown.removeOne(text); });
    m_desktop.MessageBox(this, text);
}

void frm1::BuildMenu()
{
    datei = menuBar()->addMenu(QStringLiteral("File"));
    datei->setObjectName(QStringLiteral("datei"));
    neu = datei->addAction(QStringLiteral("open"));
    neu->setObjectName(QStringLiteral("neu"));
    neu->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    ende = datei->addAction(QStringLiteral("quit"));
    ende->setObjectName(QStringLiteral("ende"));
    ende->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));

    help = menuBar()->addMenu(QStringLiteral("?"));
    help->setObjectName(QStringLiteral("help"));
    tutor = help->addAction(QStringLiteral("instruction"));
    tutor->setObjectName(QStringLiteral("tutor"));
    about = help->addAction(QStringLiteral("info"));
    about->setObjectName(QStringLiteral("about"));
}

void frm1::BuildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    // The layout's boxes were sized for a small, narrow dialog font.
    QFont dialogFont = client->font();
    dialogFont.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                            QStringLiteral("Nimbus Sans"), dialogFont.family()});
    dialogFont.setPointSizeF(8);
    client->setFont(dialogFont);
    client->setFixedSize(platform::Twips::ToPixels(ClientWidth, client),
                         platform::Twips::ToPixels(ClientHeight, client));

    std::vector<std::pair<int, QWidget*>> focusOrder;

    for (const LabelSpec& row : WindowLabels)
        MakeLabel(client, row);
    QLabel* title = client->findChild<QLabel*>(QStringLiteral("Label1"));
    QFont titleFont(QStringLiteral("Arial Black"));
    titleFont.setPointSizeF(14.25);
    titleFont.setWeight(QFont::Black);
    title->setFont(titleFont);
    QPalette titlePalette = title->palette();
    titlePalette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    title->setPalette(titlePalette);

    for (const auto& [name, x] : Lines) {
        auto* line = new QFrame(client);
        line->setFrameStyle(QFrame::VLine | QFrame::Plain);
        line->setLineWidth(1);
        Place(*line, Placement{name, QRectF(x - 7.5, LineTop, 15, LineBottom - LineTop), 0});
    }

    // Windowed controls from the bottom of the stack up: the player lies beneath all others, the
    // check box above all.
    QWidget& player = wm1->widget();
    player.setParent(client);
    player.setObjectName(QStringLiteral("wm1"));
    wm1->setLeft(3000);
    wm1->setTop(2400);
    wm1->setWidth(3615);
    wm1->setHeight(1095);
    focusOrder.emplace_back(15, &player);

    const auto button = [&](const Placement& at, const char* caption, const char* tooltip) {
        QPushButton* made = MakeButton(client, at, caption, tooltip);
        focusOrder.emplace_back(at.tabIndex, made);
        return made;
    };
    speed = MakeTextBox(client, {"speed", {840, 960, 255, 285}, 11}, "0", nullptr, Qt::AlignLeft);
    MakeDisplayBox(*speed);
    plus = button({"plus", {360, 720, 375, 375}, 12}, "+", "play faster (if available)");
    minus = button({"minus", {360, 1200, 375, 375}, 13}, "-", "play slower (if available)");
    Fileinfo = MakeTextBox(client, {"Fileinfo", {2400, 1920, 4695, 285}, 23}, "", "loaded media file",
                           Qt::AlignLeft);
    MakeDisplayBox(*Fileinfo);
    time = MakeTextBox(client, {"time", {1920, 1200, 975, 405}, 24}, "",
                       "actual position in seconds from the start", Qt::AlignRight);
    MakeDisplayBox(*time);
    ffw = button({"ffw", {3720, 720, 615, 375}, 27}, ">>", "fast forward (steps of 2 seconds)");
    fffw = button({"fffw", {3720, 1200, 615, 375}, 28}, ">>>", "fast forward (steps of 10 seconds)");
    m_plus = button({"m_plus", {5040, 720, 375, 375}, 33}, "+", "increase player size");
    m_minus = button({"m_minus", {5040, 1200, 375, 375}, 34}, "-", "reduce player size");
    m_right = button({"m_right", {6360, 720, 375, 375}, 35}, "->", "move player to the right");
    m_left = button({"m_left", {6360, 1200, 375, 375}, 36}, "<-", "move player to the left");
    time_goto = MakeTextBox(client, {"time_goto", {1920, 720, 975, 405}, 38}, "",
                            "Enter position in seconds and press goto", Qt::AlignRight);
    focusOrder.emplace_back(38, time_goto);
    but_goto = button({"but_goto", {1440, 720, 495, 375}, 39}, "goto", "Enter position in seconds and press goto");

    Frame1 = MakeFrame(client, {"Frame1", {240, 600, 3015, 1815}, 4}, "Info");
    for (const LabelSpec& row : InfoLabels)
        MakeLabel(Frame1, row);
    Command1 = MakeButton(Frame1, {"Command1", {2400, 1200, 495, 495}, 10}, "OK", nullptr);
    focusOrder.emplace_back(10, Command1);

    Frame2 = MakeFrame(client, {"Frame2", {-120, 120, 4455, 4095}, 16}, "Instructions");
    for (const LabelSpec& row : InstructionLabels)
        MakeLabel(Frame2, row);
    Command2 = MakeButton(Frame2, {"Command2", {240, 3360, 735, 495}, 21}, "ok", nullptr);
    focusOrder.emplace_back(21, Command2);

    autorewind = MakeTextBox(client, {"autorewind", {7560, 960, 495, 285}, 43}, "2", nullptr, Qt::AlignHCenter);
    MakeDisplayBox(*autorewind);
    focusOrder.emplace_back(43, autorewind);

    Check1 = new QCheckBox(QStringLiteral("Check1"), client);
    Place(*Check1, {"Check1", {7800, 1320, 255, 255}, 45});
    Check1->setAccessibleName(QStringLiteral("Check1"));
    focusOrder.emplace_back(45, Check1);

    auto* menuFirst = new MenuShortcutsFirst({neu, ende}, this);
    for (QLineEdit* box : {time_goto, autorewind})
        box->installEventFilter(menuFirst);

    // Labels, frames, hidden and disabled controls never take the focus; the rest follow their
    // tab index.
    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusOrder.size(); ++i)
        setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
}

} // namespace app
