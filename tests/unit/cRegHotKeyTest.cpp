#include "FakeServices.h"

#include "hotkeys/cRegHotKey.h"
#include "platform/Error.h"
#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using hotkeys::cRegHotKey;
using platform::WM_DESTROY;
using platform::WM_HOTKEY;
using testing_support::FakeServices;
using Lines = std::vector<std::string>;

namespace {

constexpr platform::HWND Window = 4660;
constexpr platform::HWND OtherWindow = 4661;
constexpr std::int32_t F1 = 112;
constexpr std::int32_t F2 = 113;
constexpr std::int32_t F3 = 114;

struct Press {
    QString name;
    std::int32_t modifiers;
    std::int32_t key;
    bool operator==(const Press&) const = default;
};

void PrintTo(const Press& p, std::ostream* os)
{
    *os << '(' << p.name.toStdString() << ", " << p.modifiers << ", " << p.key << ')';
}

template <class Action>
std::optional<platform::Error> ErrorOf(Action&& action)
{
    try {
        action();
    } catch (const platform::Error& e) {
        return e;
    }
    return std::nullopt;
}

// The table as readable lines: name, atom name, id, key, modifiers.
Lines Table(const cRegHotKey& reg)
{
    Lines lines;
    for (const hotkeys::tHotKeyEntry& e : reg.Keys())
        lines.push_back(QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(e.sName, e.sAtomName)
                            .arg(e.lId)
                            .arg(e.eKey)
                            .arg(e.eModifiers)
                            .toStdString());
    return lines;
}

// What releasing spielen, stop and zurueck (registered in this order) must do, last first.
const Lines ReleaseOfThree = {
    "UnregisterHotKey 4660 -16382", "GlobalDeleteAtom 49154", "UnregisterHotKey 4660 -16383",
    "GlobalDeleteAtom 49153",       "UnregisterHotKey 4660 -16384", "GlobalDeleteAtom 49152"};

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Lines ReleaseAndUnhook = ReleaseOfThree + Lines{"UnhookMessage 4660 786", "UnhookMessage 4660 2"};

// The main window's start, with modifiers added so that they can be told apart.
void AttachWithThreeKeys(FakeServices& fake, cRegHotKey& reg)
{
    reg.Attach(Window);
    reg.RegisterKey(QStringLiteral("spielen"), F3, 0);
    reg.RegisterKey(QStringLiteral("stop"), F2, 6);
    reg.RegisterKey(QStringLiteral("zurueck"), F1, 1);
    fake.log.clear();
}

class RegistryTest : public ::testing::Test {
protected:
    RegistryTest()
    {
        reg->HotKeyPress.connect([this](const QString& name, std::int32_t modifiers, std::int32_t key) {
            presses.push_back(Press{name, modifiers, key});
        });
    }

    void AttachWithThreeKeys() { ::AttachWithThreeKeys(fake, *reg); }

    FakeServices fake;
    std::vector<Press> presses;
    std::unique_ptr<cRegHotKey> reg = std::make_unique<cRegHotKey>(fake);
};

// ---- Errors -------------------------------------------------------------------------------

using Act = std::function<void(FakeServices&, cRegHotKey&)>;

struct ErrorCase {
    const char* what;
    Act act;
    std::int32_t number;
    QString description;
    Lines effects;
};

Act Registering(const QString& name, std::int32_t key, std::optional<std::uint32_t> atomError = {},
                std::optional<std::uint32_t> registrationError = {})
{
    return [=](FakeServices& fake, cRegHotKey& reg) {
        fake.refuseAtomWith = atomError;
        fake.refuseRegistrationWith = registrationError;
        reg.RegisterKey(name, key, 0);
    };
}

TEST(RegistryErrors, CarryTheirNumberSourceAndDescriptionAndChangeNothing)
{
    const Lines addSpielen = {"GlobalAddAtomA spielen_player_917"};
    const Lines refusedSpielen =
        addSpielen + Lines{"RegisterHotKey 4660 -16383 0 114", "GlobalDeleteAtom 49153"};
    const std::vector<ErrorCase> cases = {
        {"unknown name (names are case-sensitive)",
         [](FakeServices&, cRegHotKey& reg) { reg.UnregisterKey(QStringLiteral("Stop")); }, -2147220455,
         QStringLiteral("No hot key registered under the name 'Stop'"), {}},
        {"atom refused, error with a system text", Registering(QStringLiteral("spielen"), F3, 8), -2147220454,
         QStringLiteral("Failed to add GlobalAtom [Not enough memory resources are available to process this "
                        "command.\r\n]"),
         addSpielen},
        {"atom refused, error without a system text", Registering(QStringLiteral("spielen"), F3, 4711),
         -2147220454, QStringLiteral("Failed to add GlobalAtom"), addSpielen},
        {"name of 33 characters", Registering(QString(33, u'n'), F3), -2147220453,
         QStringLiteral("Key Name too long (max 32 characters)."), {}},
        {"combination held by another program", Registering(QStringLiteral("spielen"), F3, {}, 1409),
         -2147220453, QStringLiteral("Failed to Register Hot Key [Hot key is already registered.\r\n]"),
         refusedSpielen},
        {"combination already registered under another name", Registering(QStringLiteral("pause"), F2),
         -2147220453, QStringLiteral("Failed to Register Hot Key [Hot key is already registered.\r\n]"),
         {"GlobalAddAtomA pause_player_917", "RegisterHotKey 4660 -16383 0 113", "GlobalDeleteAtom 49153"}},
        {"registration refused, error without a system text",
         Registering(QStringLiteral("spielen"), F3, {}, 4711), -2147220453,
         QStringLiteral("Failed to Register Hot Key"), refusedSpielen},
        {"name already registered", Registering(QStringLiteral("stop"), F3), -2147220452,
         QStringLiteral("The Key Name 'stop' is already registered."), {}},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServices fake;
        cRegHotKey reg(fake);
        reg.Attach(Window);
        reg.RegisterKey(QStringLiteral("stop"), F2, 0);
        const Lines tableBefore = Table(reg);
        const auto hotKeysBefore = fake.hotKeys;
        fake.log.clear();

        const auto error = ErrorOf([&] { c.act(fake, reg); });

        ASSERT_TRUE(error.has_value()) << "no error raised";
        EXPECT_EQ(error->number(), c.number) << "wrong error number";
        EXPECT_EQ(error->source(), QStringLiteral("player.cRegHotKey")) << "wrong error source";
        EXPECT_EQ(error->description(), c.description) << "wrong error description";
        EXPECT_EQ(fake.Effects(), c.effects) << "wrong platform calls for the failed operation";
        EXPECT_EQ(Table(reg), tableBefore) << "a failed operation changed the table";
        EXPECT_EQ(fake.Atoms().Count(), 1u) << "a failed operation left an atom behind or deleted one";
        EXPECT_TRUE(fake.hotKeys == hotKeysBefore) << "a failed operation changed the registered hot keys";
        EXPECT_EQ(reg.AttachedWindow(), Window) << "a failed operation changed the window binding";
    }
}

// ---- Names and atom names -----------------------------------------------------------------

TEST(RegistryNames, LengthLimitCountsSixteenBitCharacters)
{
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E"); // two 16-bit characters
    const struct {
        const char* what;
        QString name;
        bool accepted;
    } cases[] = {
        {"32 characters", QString(32, u'n'), true},
        {"16 surrogate pairs", clef.repeated(16), true},
        {"17 surrogate pairs", clef.repeated(17), false},
        {"empty name", QString(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServices fake;
        cRegHotKey reg(fake);
        const auto error = ErrorOf([&] { reg.RegisterKey(c.name, F2, 0); });
        EXPECT_EQ(!error.has_value(), c.accepted) << (c.accepted ? "name refused" : "name accepted");
        if (c.accepted) {
            EXPECT_TRUE(reg.Keys().size() == 1 && reg.Keys()[0].sName == c.name)
                << "name not stored as given";
        } else {
            EXPECT_EQ(error->number(), -2147220453) << "wrong error for a long name";
        }
    }
}

TEST(RegistryNames, AtomNameJoinsNameExecutableAndSignedTickCount)
{
    const struct {
        std::uint32_t tick;
        const char* name;
        const char* atomName;
    } cases[] = {
        {917, "stop", "stop_player_917"},
        {0, "", "_player_0"},
        {2147483647u, "zurueck", "zurueck_player_2147483647"},
        {2147483648u, "zurueck", "zurueck_player_-2147483648"},
        {2147483653u, "spielen", "spielen_player_-2147483643"},
        {4294967295u, "spielen", "spielen_player_-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.atomName);
        FakeServices fake;
        fake.tickCount = c.tick;
        cRegHotKey reg(fake);
        reg.Attach(Window);
        reg.RegisterKey(QString::fromUtf8(c.name), F2, 6);
        ASSERT_EQ(reg.Keys().size(), 1u) << "key not registered";
        EXPECT_EQ(reg.Keys()[0].sAtomName, QString::fromUtf8(c.atomName)) << "wrong atom name stored";
        EXPECT_EQ(fake.Atoms().Name(0xC000), QByteArray(c.atomName)) << "wrong atom created";
        EXPECT_EQ(reg.Keys()[0].lId, -16384) << "atom 0xC000 not read as a signed 16-bit id";
        EXPECT_EQ(fake.Effects(), (Lines{"HookMessage 4660 786", "HookMessage 4660 2",
                                         std::string("GlobalAddAtomA ") + c.atomName,
                                         "RegisterHotKey 4660 -16384 6 113"}))
            << "wrong atom, or hot key not registered under the atom's id with modifiers before key";
    }
}

TEST(RegistryNames, AtomNameIsCutTo254Characters)
{
    const struct {
        int exeLength;
        QString atomName;
    } cases[] = {
        {245, QStringLiteral("stop_") + QString(245, u'x') + QStringLiteral("_917")},
        {246, QStringLiteral("stop_") + QString(246, u'x') + QStringLiteral("_91")},
        {300, QStringLiteral("stop_") + QString(249, u'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exeLength);
        FakeServices fake;
        fake.exeBaseName = QString(c.exeLength, u'x');
        cRegHotKey reg(fake);
        reg.RegisterKey(QStringLiteral("stop"), F2, 0);
        ASSERT_EQ(reg.Keys().size(), 1u) << "a long executable name made the registration fail";
        EXPECT_EQ(reg.Keys()[0].sAtomName, c.atomName) << "atom name cut wrongly";
        EXPECT_EQ(fake.Atoms().Name(0xC000), c.atomName.toLatin1()) << "atom created under another name";
    }
}

TEST_F(RegistryTest, NamesDifferingOnlyInCaseAreDifferentKeys)
{
    reg->Attach(Window);
    reg->RegisterKey(QStringLiteral("Stop"), F2, 0);
    fake.tickCount += 1;
    reg->RegisterKey(QStringLiteral("stop"), F3, 0);
    ASSERT_EQ(reg->Keys().size(), 2u) << "second name taken for a duplicate of the first";

    reg->UnregisterKey(QStringLiteral("stop"));
    ASSERT_EQ(reg->Keys().size(), 1u) << "unregistering one of them did not remove exactly one";
    EXPECT_EQ(reg->Keys()[0].sName, QStringLiteral("Stop")) << "the wrong one of the two was removed";
    EXPECT_EQ(fake.hotKeys.size(), 1u) << "hot key of the removed entry still registered";
    EXPECT_EQ(fake.hotKeys.begin()->second.vk, static_cast<std::uint32_t>(F2))
        << "the wrong hot key was released";
}

// ---- Removing entries ---------------------------------------------------------------------

TEST_F(RegistryTest, UnregisteringTheMiddleKeyKeepsOrderAndIds)
{
    AttachWithThreeKeys();
    const Lines before = Table(*reg);

    reg->UnregisterKey(QStringLiteral("stop"));

    EXPECT_EQ(Table(*reg), (Lines{before[0], before[2]})) << "remaining entries changed or reordered";
    EXPECT_EQ(fake.Effects(), (Lines{"UnregisterHotKey 4660 -16383", "GlobalDeleteAtom 49153"}))
        << "stop's hot key and atom not released, or others touched";
    reg->WindowProc(Window, WM_HOTKEY, -16382, 0);
    EXPECT_EQ(presses, (std::vector<Press>{{QStringLiteral("zurueck"), 1, F1}})) << "last key lost its id";
}

TEST_F(RegistryTest, UnregisteringTheOnlyKeyLeavesNoStorage)
{
    reg->Attach(Window);
    reg->RegisterKey(QStringLiteral("stop"), F2, 0);
    reg->UnregisterKey(QStringLiteral("stop"));
    EXPECT_TRUE(reg->Keys().empty()) << "entry still in the table";
    EXPECT_EQ(reg->Keys().capacity(), 0u) << "empty table still holds storage";
    EXPECT_EQ(fake.Atoms().Count(), 0u) << "atom not deleted";
    EXPECT_TRUE(fake.hotKeys.empty()) << "hot key not unregistered";
}

TEST_F(RegistryTest, UnregisterRemovesTheEntryWhateverThePlatformReports)
{
    reg->Attach(Window);
    reg->RegisterKey(QStringLiteral("stop"), F2, 0);
    fake.hotKeys.clear();
    fake.Atoms().Delete(0xC000);
    EXPECT_NO_THROW(reg->UnregisterKey(QStringLiteral("stop"))) << "a failed release was raised";
    EXPECT_TRUE(reg->Keys().empty()) << "entry kept because the platform reported a failure";
}

// ---- Clear, Attach, ending ----------------------------------------------------------------

TEST_F(RegistryTest, ClearReleasesLastRegisteredFirstThenUnhooksHotKeyThenDestroy)
{
    AttachWithThreeKeys();
    reg->Clear();
    EXPECT_EQ(fake.Effects(), ReleaseAndUnhook) << "wrong release order";
    EXPECT_EQ(reg->AttachedWindow(), 0) << "still attached after Clear";
    EXPECT_FALSE(fake.Hooks().IsHooked(*reg, Window, WM_HOTKEY)
                 || fake.Hooks().IsHooked(*reg, Window, WM_DESTROY))
        << "a hook survived Clear";
    EXPECT_EQ(fake.Atoms().Count(), 0u) << "atoms left after Clear";

    fake.log.clear();
    reg->Clear();
    EXPECT_TRUE(fake.log.empty()) << "Clear on an empty, detached object called the platform";
}

TEST_F(RegistryTest, AttachOnADetachedObjectHooksHotKeyThenDestroy)
{
    reg->Attach(0);
    EXPECT_TRUE(fake.log.empty()) << "Attach(0) on a detached object called the platform";
    reg->Attach(Window);
    EXPECT_EQ(fake.Effects(), (Lines{"HookMessage 4660 786", "HookMessage 4660 2"})) << "wrong hooks";
    EXPECT_EQ(reg->AttachedWindow(), Window) << "window not remembered";
}

TEST(RegistryAttach, AgainReleasesKeysAndRebindsTheWindow)
{
    const struct {
        const char* what;
        platform::HWND second;
        Lines effects;
    } cases[] = {
        {"same window", Window, ReleaseAndUnhook + Lines{"HookMessage 4660 786", "HookMessage 4660 2"}},
        {"other window", OtherWindow, ReleaseAndUnhook + Lines{"HookMessage 4661 786", "HookMessage 4661 2"}},
        {"no window", 0, ReleaseAndUnhook},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServices fake;
        cRegHotKey reg(fake);
        AttachWithThreeKeys(fake, reg);
        reg.Attach(c.second);

        EXPECT_EQ(fake.Effects(), c.effects) << "wrong platform calls";
        EXPECT_TRUE(reg.Keys().empty()) << "keys survived a new Attach";
        EXPECT_EQ(reg.AttachedWindow(), c.second) << "wrong window bound";
        EXPECT_EQ(fake.Hooks().IsHooked(reg, Window, WM_HOTKEY), c.second == Window)
            << "old window's hook wrong";
        if (c.second != 0) {
            EXPECT_TRUE(fake.Hooks().IsHooked(reg, c.second, WM_DESTROY)) << "new window not hooked";
        }
    }
}

TEST(RegistryHookFailures, AreRaisedAndStopTheOperationWhereTheyHappen)
{
    const struct {
        const char* what;
        std::int32_t hookThrowsFor;
        std::int32_t unhookThrowsFor;
        platform::HWND attachedAfter;
        bool hotKeyHooked;
    } cases[] = {
        {"hooking WM_HOTKEY fails", WM_HOTKEY, 0, OtherWindow, false},
        {"hooking WM_DESTROY fails", WM_DESTROY, 0, OtherWindow, true},
        {"unhooking the old window fails", 0, WM_HOTKEY, Window, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServices fake;
        cRegHotKey reg(fake);
        reg.Attach(Window);
        reg.RegisterKey(QStringLiteral("stop"), F2, 0);
        fake.hookThrowsFor = c.hookThrowsFor;
        fake.unhookThrowsFor = c.unhookThrowsFor;

        const auto error = ErrorOf([&] { reg.Attach(OtherWindow); });

        ASSERT_TRUE(error.has_value()) << "hook failure swallowed";
        EXPECT_EQ(error->number(), platform::ObjectErrorNumber(1)) << "not the component's own error";
        EXPECT_EQ(error->source(), QStringLiteral("fake.MessageHook")) << "not the component's own error";
        EXPECT_EQ(reg.AttachedWindow(), c.attachedAfter) << "wrong window bound after the failure";
        EXPECT_EQ(fake.Hooks().IsHooked(reg, OtherWindow, WM_HOTKEY), c.hotKeyHooked)
            << "wrong WM_HOTKEY hook";
        EXPECT_FALSE(fake.Hooks().IsHooked(reg, OtherWindow, WM_DESTROY)) << "steps after the failure ran";
        EXPECT_TRUE(reg.Keys().empty() && fake.hotKeys.empty()) << "keys not released before the failure";
    }
}

TEST_F(RegistryTest, EndingTheObjectReleasesEverything)
{
    AttachWithThreeKeys();
    reg.reset();
    EXPECT_EQ(fake.Effects(), ReleaseAndUnhook) << "ending the object did not release everything in order";
    EXPECT_EQ(fake.Atoms().Count(), 0u) << "atoms outlived the object";
}

TEST_F(RegistryTest, EndingTheObjectSurvivesAFailingUnhook)
{
    AttachWithThreeKeys();
    fake.unhookThrowsFor = WM_HOTKEY;
    EXPECT_NO_THROW(reg.reset()) << "the unhook failure escaped the destruction";
    EXPECT_TRUE(fake.hotKeys.empty()) << "hot keys outlived the object";
}

TEST_F(RegistryTest, WindowDestructionReleasesEverythingWhileTheMessageIsDelivered)
{
    AttachWithThreeKeys();
    fake.Deliver(Window, WM_DESTROY, 0, 0);
    EXPECT_EQ(fake.Effects(), ReleaseAndUnhook + Lines{"OwnProcessing 2"})
        << "keys and hooks not released inside the delivery, or the window's own processing skipped";
    EXPECT_EQ(reg->AttachedWindow(), 0) << "still bound to the destroyed window";

    fake.Deliver(Window, WM_HOTKEY, -16384, 0);
    EXPECT_TRUE(presses.empty()) << "press reported after the window was destroyed";
    fake.log.clear();
    reg.reset();
    EXPECT_TRUE(fake.log.empty()) << "ending the object found something left to release";
}

// ---- Hot-key messages ---------------------------------------------------------------------

TEST_F(RegistryTest, EachHotKeyMessageRaisesExactlyOnePress)
{
    AttachWithThreeKeys();
    const struct {
        const char* what;
        std::int32_t wParam;
        std::int32_t lParam;
        Press expected;
    } cases[] = {
        {"registered key, lParam ignored", -16383, 0x00720001, {QStringLiteral("stop"), 6, F2}},
        {"desktop snapshot", -2, 0, {QStringLiteral("Desktop Snapshot"), 0, 44}},
        {"window snapshot", -1, 0x002C0004, {QStringLiteral("Window Snapshot"), 4, 44}},
        {"unknown id", 7, 0x00710002, {QStringLiteral("Unknown HotKey"), 2, F2}},
        {"unknown id, lParam -1", 0, -1, {QStringLiteral("Unknown HotKey"), 0xFFFF, 0}},
        {"unknown id, top bit set", -16381, static_cast<std::int32_t>(0x80010003u),
         {QStringLiteral("Unknown HotKey"), 3, -32766}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        presses.clear();
        EXPECT_EQ(reg->WindowProc(Window, WM_HOTKEY, c.wParam, c.lParam), 0)
            << "WindowProc answered non-zero";
        EXPECT_EQ(presses, std::vector<Press>{c.expected}) << "wrong press reported";
    }
}

TEST_F(RegistryTest, SnapshotIdsWinOverKeysHoldingTheSameId)
{
    for (int i = 0; i < 16382; ++i)
        ASSERT_NE(fake.Atoms().Add("filler" + QByteArray::number(i)), 0) << "atom table full too early";
    reg->Attach(Window);
    reg->RegisterKey(QStringLiteral("a"), F1, 0);
    reg->RegisterKey(QStringLiteral("b"), F2, 0);
    ASSERT_EQ(Table(*reg), (Lines{"a|a_player_917|-2|112|0", "b|b_player_917|-1|113|0"}))
        << "the last two atoms do not give the ids -2 and -1";

    reg->WindowProc(Window, WM_HOTKEY, -2, 0);
    reg->WindowProc(Window, WM_HOTKEY, -1, 0);
    EXPECT_EQ(presses, (std::vector<Press>{{QStringLiteral("Desktop Snapshot"), 0, 44},
                                           {QStringLiteral("Window Snapshot"), 4, 44}}))
        << "a key's name reported for a snapshot id";
}

TEST_F(RegistryTest, RepeatedMessagesEachRaiseOnePressBeforeTheWindowsOwnProcessing)
{
    AttachWithThreeKeys();
    reg->HotKeyPress.connect([this](const QString& name, std::int32_t, std::int32_t) {
        fake.log.push_back("press " + name.toStdString());
    });
    for (int i = 0; i < 3; ++i)
        fake.Deliver(Window, WM_HOTKEY, -16384, 0x00720000);
    EXPECT_EQ(fake.Effects(), (Lines{"press spielen", "OwnProcessing 786", "press spielen",
                                     "OwnProcessing 786", "press spielen", "OwnProcessing 786"}))
        << "presses held back, merged or reported after the window's own processing";
}

TEST_F(RegistryTest, AHandlerMayUnregisterThePressedKey)
{
    AttachWithThreeKeys();
    std::vector<Press> late;
    reg->HotKeyPress.connect(
        [this](const QString& name, std::int32_t, std::int32_t) { reg->UnregisterKey(name); });
    reg->HotKeyPress.connect([&late](const QString& name, std::int32_t modifiers, std::int32_t key) {
        late.push_back(Press{name, modifiers, key});
    });
    fake.Deliver(Window, WM_HOTKEY, -16383, 0);
    EXPECT_EQ(late, (std::vector<Press>{{QStringLiteral("stop"), 6, F2}}))
        << "a later handler saw the press changed by the removal of its entry";
    EXPECT_EQ(reg->Keys().size(), 2u) << "the handler's UnregisterKey had no effect";
}

TEST(RegistryEvents, AHandlerMayConnectAnotherWhileAPressIsRaised)
{
    FakeServices fake;
    cRegHotKey reg(fake);
    std::vector<Press> seen;
    reg.HotKeyPress.connect([&reg, &seen](const QString& name, std::int32_t modifiers, std::int32_t key) {
        for (int i = 0; i < 4; ++i)
            reg.HotKeyPress.connect([](const QString&, std::int32_t, std::int32_t) {});
        seen.push_back(Press{name, modifiers, key});
    });
    reg.WindowProc(Window, WM_HOTKEY, -2, 0);
    EXPECT_EQ(seen, (std::vector<Press>{{QStringLiteral("Desktop Snapshot"), 0, 44}}))
        << "the running handler lost its state when another one was connected";
}

TEST(RegistryEvents, ADisconnectedHandlerIsNotCalledAgainEvenFromWithinARaise)
{
    FakeServices fake;
    auto reg = std::make_unique<cRegHotKey>(fake);
    std::vector<std::string> calls;
    platform::Event<const QString&, std::int32_t, std::int32_t>::Connection first, second, third;
    first = reg->HotKeyPress.connect([&](const QString&, std::int32_t, std::int32_t) {
        calls.push_back("first");
        first.disconnect();
        third.disconnect();
    });
    second = reg->HotKeyPress.connect([&](const QString&, std::int32_t, std::int32_t) { calls.push_back("second"); });
    third = reg->HotKeyPress.connect([&](const QString&, std::int32_t, std::int32_t) { calls.push_back("third"); });
    reg->WindowProc(Window, WM_HOTKEY, -2, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"})) << "a handler disconnected during the raise ran";

    calls.clear();
    second.disconnect();
    reg->WindowProc(Window, WM_HOTKEY, -2, 0);
    EXPECT_TRUE(calls.empty()) << "a disconnected handler ran";

    auto late = reg->HotKeyPress.connect([&](const QString&, std::int32_t, std::int32_t) { calls.push_back("late"); });
    reg->WindowProc(Window, WM_HOTKEY, -2, 0);
    EXPECT_EQ(calls, std::vector<std::string>{"late"});
    reg.reset();
    late.disconnect(); // after the registry has gone: nothing to do, nothing touched
}

TEST_F(RegistryTest, OtherMessagesPassWithoutEffectAndTheAnswersAreFixed)
{
    AttachWithThreeKeys();
    for (const std::int32_t msg : {platform::WM_SYSCOMMAND, 0x0100, 0}) {
        EXPECT_EQ(reg->WindowProc(Window, msg, -16384, 0), 0) << "message " << msg << " answered non-zero";
    }
    EXPECT_TRUE(presses.empty() && fake.Effects().empty()) << "a message other than WM_HOTKEY had an effect";
    EXPECT_EQ(reg->WindowProc(Window, WM_DESTROY, 0, 0), 0) << "WM_DESTROY answered non-zero";
    for (const std::int32_t given : {0, 1, 3, -1}) {
        reg->MsgResponse(given);
        EXPECT_EQ(reg->MsgResponse(), 2) << "MsgResponse changed after being given " << given;
    }
}

TEST_F(RegistryTest, RestoreAndActivateRestoresOnlyAMinimizedWindow)
{
    for (const bool iconic : {false, true}) {
        SCOPED_TRACE(iconic ? "minimized" : "not minimized");
        fake.iconic = iconic;
        fake.log.clear();
        reg->RestoreAndActivate(Window);
        const Lines expected =
            iconic ? Lines{"IsIconic 4660", "SendMessageA 4660 274 61728 0"} : Lines{"IsIconic 4660"};
        EXPECT_EQ(fake.Effects(), expected) << "wrong platform calls";
    }
}

} // namespace
