#include "WindowFixture.h"

#include "platform/Twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>

#include <cmath>
#include <optional>

namespace {

using testing_support::WindowTest;

using Layout = WindowTest;

// What a user meets of one control at start.
struct Initial {
    const char* name;
    const char* text; // caption or text
    const char* tooltip;
    QRectF twips;
    bool visible;
    bool enabled;
    std::optional<bool> editable; // text boxes only
};

constexpr bool Shown = true;
constexpr bool Hidden = false;

const Initial Controls[] = {
    {"Label1", "Horchpult 2.0", "", {3120, 0, 3495, 495}, Shown, true, {}},
    {"L", "speed", "", {360, 480, 1215, 255}, Shown, true, {}},
    {"Label23", "time", "", {2160, 480, 975, 255}, Shown, true, {}},
    {"Label18", "fast forward", "", {3600, 480, 975, 255}, Shown, true, {}},
    {"Label20", "player size", "", {4920, 480, 975, 255}, Shown, true, {}},
    {"Label19", "player position", "", {6000, 480, 1335, 255}, Shown, true, {}},
    {"Label24", "auto rewind with pause", "", {7560, 480, 855, 495}, Shown, true, {}},
    {"plus", "+", "play faster (if available)", {360, 720, 375, 375}, Shown, true, {}},
    {"minus", "-", "play slower (if available)", {360, 1200, 375, 375}, Shown, true, {}},
    {"speed", "0", "", {840, 960, 255, 285}, Shown, false, false},
    {"but_goto", "goto", "Enter position in seconds and press goto", {1440, 720, 495, 375}, Shown, true, {}},
    {"time_goto", "", "Enter position in seconds and press goto", {1920, 720, 975, 405}, Shown, true, true},
    {"Label22", "sec.", "", {3000, 840, 375, 255}, Shown, true, {}},
    {"Label15", "time:", "", {1560, 1320, 615, 255}, Shown, true, {}},
    {"time", "", "actual position in seconds from the start", {1920, 1200, 975, 405}, Shown, false, false},
    {"Label16", "sec.", "", {3000, 1320, 375, 255}, Shown, true, {}},
    {"ffw", ">>", "fast forward (steps of 2 seconds)", {3720, 720, 615, 375}, Shown, true, {}},
    {"fffw", ">>>", "fast forward (steps of 10 seconds)", {3720, 1200, 615, 375}, Shown, true, {}},
    {"m_plus", "+", "increase player size", {5040, 720, 375, 375}, Shown, true, {}},
    {"m_minus", "-", "reduce player size", {5040, 1200, 375, 375}, Shown, true, {}},
    {"m_right", "->", "move player to the right", {6360, 720, 375, 375}, Shown, true, {}},
    {"m_left", "<-", "move player to the left", {6360, 1200, 375, 375}, Shown, true, {}},
    {"autorewind", "2", "", {7560, 960, 495, 285}, Shown, false, false},
    {"Label25", "sec.", "", {8160, 960, 375, 255}, Shown, true, {}},
    {"Check1", "Check1", "", {7800, 1320, 255, 255}, Shown, true, {}},
    {"Label14", "File:", "", {1800, 1920, 375, 255}, Shown, true, {}},
    {"Fileinfo", "", "loaded media file", {2400, 1920, 4695, 285}, Shown, false, false},
    {"Label2", "back:   F1", "use function key F1 to rewind one second", {1800, 2640, 1935, 255}, Shown, true, {}},
    {"Label4", "pause: F2", "use function key F2 to pause player", {1800, 2880, 1575, 375}, Shown, true, {}},
    {"Label3", "play:    F3", "use function key F3 to play", {1800, 3120, 1455, 375}, Shown, true, {}},
    {"wm1", nullptr, "", {3000, 2400, 3615, 1095}, Shown, true, {}},
    {"Frame2", "Instructions", "", {-120, 120, 4455, 4095}, Hidden, true, {}},
    {"Label10", "(1) Open media file", "", {240, 480, 2295, 375}, Hidden, true, {}},
    {"Label12", "(2) Open your Texteditor", "", {240, 720, 3255, 255}, Hidden, true, {}},
    {"Label11", "(3) control media playback with F1, F2 or F3 while writing.", "", {240, 960, 3135, 495}, Hidden, true, {}},
    {"Label17", "Fast forward: >> or >>> button", "", {240, 1440, 2655, 255}, Hidden, true, {}},
    {"Label13", "note that the speed function is not supported for all media formats", "", {240, 1800, 3135, 375}, Hidden, true, {}},
    {"Label21", "use position and size controls for videodisplay", "", {240, 2280, 3255, 495}, Hidden, true, {}},
    {"Command2", "ok", "", {240, 3360, 735, 495}, Hidden, true, {}},
    {"Frame1", "Info", "", {240, 600, 3015, 1815}, Hidden, true, {}},
    {"Command1", "OK", "", {2400, 1200, 495, 495}, Hidden, true, {}},
};

QString TextOf(const QWidget& control)
{
    if (const auto* label = qobject_cast<const QLabel*>(&control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(&control))
        return button->text();
    if (const auto* box = qobject_cast<const QLineEdit*>(&control))
        return box->text();
    if (const auto* frame = qobject_cast<const QGroupBox*>(&control))
        return frame->title();
    return {};
}

TEST_F(Layout, EveryControlStartsAsTheUserMeetsIt)
{
    const double pixel = platform::Twips::FromPixels(1, window.get());
    for (const Initial& c : Controls) {
        SCOPED_TRACE(c.name);
        const QWidget& control = Control<QWidget>(c.name);
        if (c.text != nullptr) {
            EXPECT_EQ(TextOf(control), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(control.toolTip(), QString::fromUtf8(c.tooltip));
        EXPECT_EQ(control.accessibleDescription(), QString::fromUtf8(c.tooltip));
        EXPECT_EQ(control.isVisibleTo(window.get()), c.visible);
        EXPECT_EQ(control.isEnabled(), c.enabled);
        if (c.editable) {
            EXPECT_EQ(!qobject_cast<const QLineEdit*>(&control)->isReadOnly(), *c.editable);
            EXPECT_EQ(control.accessibleName(), QString::fromLatin1(c.name));
        }
        const QRect r = control.geometry();
        const QRectF twips(platform::Twips::FromPixels(r.x(), &control), platform::Twips::FromPixels(r.y(), &control),
                           platform::Twips::FromPixels(r.width(), &control), platform::Twips::FromPixels(r.height(), &control));
        EXPECT_NEAR(twips.x(), c.twips.x(), pixel);
        EXPECT_NEAR(twips.y(), c.twips.y(), pixel);
        EXPECT_NEAR(twips.width(), c.twips.width(), pixel);
        EXPECT_NEAR(twips.height(), c.twips.height(), pixel);
    }
    EXPECT_EQ(wm1->Left(), 3000.0f);
    EXPECT_EQ(wm1->Width(), 3615.0f);
    EXPECT_EQ(window->PositionTimer().Interval(), 0) << "the position timer does not tick";
    EXPECT_EQ(window->windowTitle(), QStringLiteral("horchpult"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_FALSE(Control<QCheckBox>("Check1").isChecked());
    EXPECT_TRUE(wm1->autoStart());
    EXPECT_EQ(wm1->rate(), 1.0);
    const QWidget& client = *window->centralWidget();
    EXPECT_NEAR(platform::Twips::FromPixels(client.width(), &client), 8955, pixel);
    EXPECT_NEAR(platform::Twips::FromPixels(client.height(), &client), 4770, pixel);
}

TEST_F(Layout, TitleAndMenusReadAsWritten)
{
    const QLabel& title = Control<QLabel>("Label1");
    EXPECT_EQ(title.palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(title.font().weight(), QFont::Black);
    EXPECT_DOUBLE_EQ(title.font().pointSizeF(), 14.25);

    const std::tuple<const char*, const char*, QKeySequence> items[] = {
        {"neu", "open", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"ende", "quit", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"tutor", "instruction", QKeySequence()},
        {"about", "info", QKeySequence()},
    };
    for (const auto& [name, caption, shortcut] : items) {
        const QAction& item = Control<QAction>(name);
        EXPECT_EQ(item.text(), QString::fromLatin1(caption)) << name;
        EXPECT_EQ(item.shortcut(), shortcut) << name;
    }
    QStringList menus;
    for (const QAction* menu : window->menuBar()->actions())
        menus.append(menu->text());
    EXPECT_EQ(menus, (QStringList{QStringLiteral("File"), QStringLiteral("?")}));
}

TEST_F(Layout, FocusMovesInTabOrderSkippingWhatCannotTakeIt)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    Control<QWidget>("plus").setFocus();
    const QWidget& player = wm1->widget();
    ASSERT_TRUE(player.isVisible()) << "the player shows with the window";
    QStringList met;
    QWidget* w = &Control<QWidget>("plus");
    for (int hops = 0; hops < 200 && met.size() < 12; ++hops, w = w->nextInFocusChain()) {
        const QString name = player.isAncestorOf(w) || w == &player ? QStringLiteral("wm1") : w->objectName();
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->window() == window.get()
            && !met.contains(name))
            met.append(name);
    }
    const QStringList expected = {"plus", "minus", "wm1", "ffw", "fffw", "m_plus", "m_minus", "m_right",
                                  "m_left", "time_goto", "but_goto", "Check1"};
    EXPECT_EQ(met.mid(0, expected.size()), expected);
}

TEST_F(Layout, StackingPutsTheCheckBoxOnTopAndThePlayerBeneath)
{
    const QWidgetList order = window->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const auto at = [&](const char* name) { return order.indexOf(&Control<QWidget>(name)); };
    const char* topFirst[] = {"Check1", "autorewind", "Frame2", "Frame1", "but_goto", "time_goto", "m_left",
                              "m_right", "m_minus", "m_plus", "fffw", "ffw", "time", "Fileinfo", "minus",
                              "plus", "speed", "wm1", "Label2"};
    for (std::size_t i = 1; i < std::size(topFirst); ++i)
        EXPECT_GT(at(topFirst[i - 1]), at(topFirst[i])) << topFirst[i - 1] << " lies above " << topFirst[i];
}

} // namespace
