#include "platform/MessageHook.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using platform::HWND;
using platform::MessageHook;
using Lines = std::vector<std::string>;

namespace {

constexpr HWND Window = 10;
constexpr HWND OtherWindow = 11;
constexpr std::int32_t Msg = 0x312;

class Receiver final : public platform::ISubclass {
public:
    Receiver(std::string name, Lines& log) : m_name(std::move(name)), m_log(log) {}

    std::function<void()> onMessage;

    std::int32_t MsgResponse() const override { return CallOriginalAfter; }
    void MsgResponse(std::int32_t) override {}
    std::int32_t WindowProc(HWND, std::int32_t, std::int32_t, std::int32_t) override
    {
        m_log.push_back(m_name);
        if (onMessage)
            onMessage();
        return 0;
    }

private:
    std::string m_name;
    Lines& m_log;
};

class MessageHookTest : public ::testing::Test {
protected:
    std::int32_t Deliver(HWND hwnd, std::int32_t msg)
    {
        return hook.Deliver(hwnd, msg, 0, 0, [this](HWND, std::int32_t, std::int32_t, std::int32_t) {
            log.emplace_back("own");
            return 42;
        });
    }

    Lines log;
    MessageHook hook;
    Receiver a{"a", log}, b{"b", log}, c{"c", log};
};

TEST_F(MessageHookTest, DeliversInHookOrderThenTheWindowsOwnProcessing)
{
    hook.Hook(b, Window, Msg);
    hook.Hook(a, Window, Msg);
    hook.Hook(b, Window, Msg);
    hook.Hook(c, OtherWindow, Msg);
    hook.Hook(c, Window, Msg + 1);
    EXPECT_EQ(Deliver(Window, Msg), 42) << "own processing's result not returned";
    EXPECT_EQ(log, (Lines{"b", "a", "own"})) << "wrong receivers or order";
}

TEST_F(MessageHookTest, ReceiversMayUnhookThemselvesAndOthersDuringDelivery)
{
    for (Receiver* r : {&a, &b, &c})
        hook.Hook(*r, Window, Msg);
    a.onMessage = [this] {
        hook.Unhook(a, Window, Msg);
        hook.Unhook(c, Window, Msg);
    };
    Deliver(Window, Msg);
    EXPECT_EQ(log, (Lines{"a", "b", "own"})) << "an unhooked receiver was called, or delivery stopped";
    log.clear();
    Deliver(Window, Msg);
    EXPECT_EQ(log, (Lines{"b", "own"})) << "unhooking did not last";

    b.onMessage = [this] { hook.Unhook(b, Window, Msg); };
    log.clear();
    Deliver(Window, Msg);
    Deliver(Window, Msg);
    EXPECT_EQ(log, (Lines{"b", "own", "own"})) << "own processing skipped once no receiver is left";
}

TEST_F(MessageHookTest, UnhookWindowRemovesOnlyThatWindowsReceivers)
{
    hook.Hook(a, Window, Msg);
    hook.Hook(b, Window, Msg + 1);
    hook.Hook(c, OtherWindow, Msg);
    hook.UnhookWindow(Window);
    EXPECT_FALSE(hook.IsHooked(a, Window, Msg) || hook.IsHooked(b, Window, Msg + 1)) << "window still hooked";
    EXPECT_TRUE(hook.IsHooked(c, OtherWindow, Msg)) << "another window lost its hook";
    Deliver(Window, Msg);
    Deliver(OtherWindow, Msg);
    EXPECT_EQ(log, (Lines{"own", "c", "own"})) << "wrong deliveries after UnhookWindow";
}

} // namespace
