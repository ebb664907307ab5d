#include "WindowFixture.h"

#include "app/Timestamp.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <limits>

namespace {

using app::TimestampFormat;
using testing_support::WindowTest;

struct Stamp {
    double seconds;
    TimestampFormat format;
    const char* text;
};

const Stamp Stamps[] = {
    {83.47, TimestampFormat::Hashes, "#00:01:23-4#"},
    {83.47, TimestampFormat::Brackets, "[00:01:23]"},
    {83.47, TimestampFormat::Decimal, "00:01:23.4"},
    {59.99, TimestampFormat::Hashes, "#00:00:59-9#"}, // cut: rounding would make it a minute
    {59.99, TimestampFormat::Brackets, "[00:00:59]"},
    {2.3, TimestampFormat::Decimal, "00:00:02.3"},    // 2.2999... as a double
    {3600, TimestampFormat::Hashes, "#01:00:00-0#"},
    {359999.95, TimestampFormat::Decimal, "99:59:59.9"},
    {360000, TimestampFormat::Hashes, "#100:00:00-0#"},
    {0, TimestampFormat::Decimal, "00:00:00.0"},
    {-0.5, TimestampFormat::Hashes, "#00:00:00-0#"},
    {std::numeric_limits<double>::quiet_NaN(), TimestampFormat::Brackets, "[00:00:00]"},
};

TEST(TimestampText, CutsTheTenthsAndWritesTwoHourDigitsUpTo99Hours)
{
    for (const Stamp& row : Stamps)
        EXPECT_EQ(app::TimestampText(row.seconds, row.format).toStdString(), row.text) << row.seconds << " s";
}

TEST(FirstTimestamp, FindsTheFirstInEveryFormatWrittenOrTypedAndNothingElse)
{
    using namespace std::literals;
    const std::pair<std::string_view, std::optional<double>> rows[] = {
        {"#00:01:23-4#", 83.4}, {"[00:01:23]", 83}, {"00:01:23.4", 83.4}, {"1:23:45", 5025}, {"01:23", 83},
        {"1:23.4", 83.4}, {"I: [00:00:07] and #00:01:23-4#", 7}, {"at 12:34:567 or 3:1 then 02:03.25", 123.25},
        {"no time here, 1.5 or 2024-01-02", std::nullopt}, {"1:60", std::nullopt}, {"", std::nullopt},
        {"99999999999999999999:00:00", 1e15 * 3600}, {"\xff\xfe" "0" "\x00" "1:02" "\x80"sv, 62},
    };
    for (const auto& [text, seconds] : rows) {
        const std::optional<double> found = app::FirstTimestamp(text);
        EXPECT_EQ(found.has_value(), seconds.has_value()) << text;
        if (found && seconds) {
            EXPECT_NEAR(*found, *seconds, 1e-9) << text;
        }
    }
}

using Timestamps = WindowTest;

TEST_F(Timestamps, F4WithoutAFileTypesNothingButRestoresTheWindow)
{
    desktop.iconic = true;
    Press(QStringLiteral("zeitmarke"));
    EXPECT_TRUE(desktop.typed.isEmpty()) << desktop.typed.join(u',').toStdString();
    EXPECT_NE(std::find(desktop.log.begin(), desktop.log.end(),
                        "SendMessageA " + std::to_string(window->Handle()) + " 274 61728 0"),
              desktop.log.end());
}

TEST_F(Timestamps, F4TypesThePositionInTheChosenFormatOnceForEachPress)
{
    Open();
    wm1->position = 83.47;
    Press(QStringLiteral("zeitmarke"));
    Press(QStringLiteral("zeitmarke"));
    EXPECT_EQ(desktop.typed, QStringList({"#00:01:23-4#", "#00:01:23-4#"}));
    EXPECT_TRUE(Notice().isEmpty()) << Notice().toStdString();

    QMenu& menu = window->Player().contextMenu();
    auto* hashes = menu.findChild<QAction*>(QStringLiteral("timestamp_hashes"));
    auto* brackets = menu.findChild<QAction*>(QStringLiteral("timestamp_brackets"));
    ASSERT_TRUE(hashes != nullptr && brackets != nullptr);
    EXPECT_TRUE(hashes->isChecked()) << "the run does not start with #hh:mm:ss-t#";
    EXPECT_EQ(brackets->text(), QStringLiteral("[00:01:23]"));
    brackets->trigger();
    EXPECT_FALSE(hashes->isChecked());
    Press(QStringLiteral("zeitmarke"));
    EXPECT_EQ(desktop.typed.last(), QStringLiteral("[00:01:23]"));
}

TEST_F(Timestamps, TheMenuEntryAndARefusedTypingPutTheTimestampOnTheClipboardAndSaySo)
{
    Open();
    wm1->position = 83.47;
    QMenu& menu = window->Player().contextMenu();
    auto* insert = menu.findChild<QAction*>(QStringLiteral("zeitmarke"));
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->text(), QStringLiteral("Insert timestamp (F4)"));
    insert->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("#00:01:23-4#"));
    EXPECT_TRUE(Notice().contains(QStringLiteral("#00:01:23-4#"))) << Notice().toStdString();
    EXPECT_TRUE(desktop.typed.isEmpty()) << "the menu has the focus, not the editor";

    desktop.typingAllowed = false;
    wm1->position = 90.05;
    Press(QStringLiteral("zeitmarke"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("#00:01:30-0#"));
    EXPECT_TRUE(Notice().contains(QStringLiteral("#00:01:30-0#"))) << Notice().toStdString();
    EXPECT_TRUE(Notice().contains(QStringLiteral("Ctrl+V"))) << Notice().toStdString();
    EXPECT_FALSE(Notice().contains(QStringLiteral("#00:01:23-4#"))) << "the notice still names the last timestamp";
}

// A key the program can start without, held by another program at the start.
struct HeldKey {
    const char* id;
    std::uint32_t key; // the virtual key, its modifiers 16 bits up
    const char* named;
    const char* menuStill;
};

void PrintTo(const HeldKey& held, std::ostream* os)
{
    *os << held.named;
}

TEST_F(Timestamps, TextDroppedOnTheWindowGoesToItsTimestampKeepingThePlayStateAndAFileDroppedDoesNot)
{
    Open();
    wm1->length = 90;
    const auto drop = [&](const QMimeData& data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &dropped);
    };
    QMimeData text;
    text.setText(QStringLiteral("said #00:01:23-4# then"));
    drop(text);
    EXPECT_DOUBLE_EQ(wm1->position, 83.4);
    EXPECT_EQ(Notice(), QStringLiteral("Went to 00:01:23.4"));

    QMimeData file;
    file.setUrls({QUrl::fromLocalFile(QStringLiteral("/media/00:00:10.mp3"))});
    drop(file);
    EXPECT_DOUBLE_EQ(wm1->position, 83.4) << "a file's name was taken for a timestamp";

    Press(QStringLiteral("spielen"));
    text.setText(QStringLiteral("02:00:00"));
    drop(text);
    EXPECT_DOUBLE_EQ(wm1->position, 90);
    EXPECT_EQ(wm1->playState(), player::MediaPlayer::Playing);
    EXPECT_TRUE(Notice().startsWith(QStringLiteral("02:00:00.0 is past the end"))) << Notice().toStdString();
}

class HeldElsewhere : public WindowTest, public ::testing::WithParamInterface<HeldKey> {
protected:
    HeldElsewhere() : WindowTest(std::vector<std::uint32_t>{GetParam().key}) {}
};

TEST_P(HeldElsewhere, TheWindowStartsWithTheOtherKeysAndSaysWhatTheMenuStillDoes)
{
    EXPECT_TRUE(fatal.isEmpty()) << fatal.join(u'\n').toStdString();
    EXPECT_EQ(window->HotKeys()->Keys().size(), 5u);
    EXPECT_TRUE(Notice().contains(QLatin1String(GetParam().named))) << Notice().toStdString();
    EXPECT_TRUE(Notice().contains(QLatin1String(GetParam().menuStill))) << Notice().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Keys, HeldElsewhere,
                         ::testing::Values(HeldKey{"F4", 115, "F4", "Insert timestamp (F4)"},
                                           HeldKey{"ShiftF1", 112 | platform::MOD_SHIFT << 16, "Shift+F1", "starts a repeat"},
                                           HeldKey{"ShiftF4", 115 | platform::MOD_SHIFT << 16, "Shift+F4",
                                                   "Go to selected timestamp (Shift+F4)"}),
                         [](const auto& test) { return std::string(test.param.id); });

} // namespace
