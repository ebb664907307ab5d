#pragma once

#include "platform/AtomTable.h"
#include "platform/Error.h"
#include "platform/LastError.h"
#include "platform/MessageHook.h"
#include "platform/Services.h"
#include "platform/SystemText.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// gtest prints QStrings byte by byte otherwise.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace testing_support {

// A scriptable platform for logic tests. Every call is written to `log` in order, one readable
// line each ("RegisterHotKey 4660 -16384 0 113"). Atoms live in a real AtomTable, system texts
// come from the real FormatSystemMessage and hooked messages go through a real MessageHook, so
// only the window system itself is faked. Like the real platform, RegisterHotKey refuses an id
// already registered for the window and a combination already held (last error 1409).
// Base is Services, or an interface built on it (the window's Desktop).
template <class Base = platform::Services>
class FakeServicesOf : public Base {
public:
    struct HotKey {
        platform::HWND hwnd;
        std::uint32_t modifiers;
        std::uint32_t vk;
        bool operator==(const HotKey&) const = default;
    };

    std::vector<std::string> log;

    std::uint32_t tickCount = 917;
    QString exeBaseName = QStringLiteral("player");
    bool iconic = false;
    std::optional<std::uint32_t> refuseRegistrationWith; // RegisterHotKey fails with this error
    // Keys another program holds: the virtual key, with its modifiers (MOD_SHIFT ...) shifted
    // 16 bits up.
    std::vector<std::uint32_t> heldElsewhere;
    std::optional<std::uint32_t> refuseAtomWith;         // GlobalAddAtomA fails with this error
    std::int32_t hookThrowsFor = 0;   // HookMessage of this message raises an Error
    std::int32_t unhookThrowsFor = 0; // UnhookMessage of this message raises an Error
    std::map<std::int32_t, HotKey> hotKeys; // registered, by id

    platform::AtomTable& Atoms() { return m_atoms; }
    const platform::MessageHook& Hooks() const { return m_hooks; }

    // The log without the queries that change nothing.
    std::vector<std::string> Effects() const
    {
        std::vector<std::string> effects;
        std::copy_if(log.begin(), log.end(), std::back_inserter(effects), [](const std::string& line) {
            return line.rfind("GetTickCount", 0) != 0 && line.rfind("GetLastError", 0) != 0
                   && line.rfind("FormatMessageA", 0) != 0 && line.rfind("ExecutableBaseName", 0) != 0;
        });
        return effects;
    }

    // The window hwnd processes msg: hooked receivers first, then its own processing.
    std::int32_t Deliver(platform::HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam)
    {
        return m_hooks.Deliver(hwnd, msg, wParam, lParam,
                               [this](platform::HWND, std::int32_t m, std::int32_t, std::int32_t) {
                                   Log("OwnProcessing", m);
                                   return 0;
                               });
    }

    platform::ATOM GlobalAddAtomA(const QByteArray& name) override
    {
        log.push_back("GlobalAddAtomA " + name.toStdString());
        if (refuseAtomWith)
            return Fail(*refuseAtomWith, 0);
        const platform::ATOM atom = m_atoms.Add(name);
        return atom != 0 ? atom : Fail(platform::LastError(), 0);
    }

    platform::ATOM GlobalDeleteAtom(platform::ATOM atom) override
    {
        Log("GlobalDeleteAtom", atom);
        const platform::ATOM result = m_atoms.Delete(atom);
        return result == 0 ? 0 : Fail(platform::LastError(), result);
    }

    bool RegisterHotKey(platform::HWND hwnd, std::int32_t id, std::uint32_t fsModifiers,
                        std::uint32_t vk) override
    {
        Log("RegisterHotKey", hwnd, id, fsModifiers, vk);
        if (refuseRegistrationWith)
            return Fail(*refuseRegistrationWith, false);
        const bool taken = std::any_of(hotKeys.begin(), hotKeys.end(), [&](const auto& held) {
            return (held.first == id && held.second.hwnd == hwnd)
                   || (held.second.modifiers == fsModifiers && held.second.vk == vk);
        }) || std::find(heldElsewhere.begin(), heldElsewhere.end(),
                        vk | (fsModifiers & ~platform::MOD_NOREPEAT) << 16) != heldElsewhere.end();
        if (taken)
            return Fail(platform::ERROR_HOTKEY_ALREADY_REGISTERED, false);
        hotKeys[id] = HotKey{hwnd, fsModifiers, vk};
        return true;
    }

    bool UnregisterHotKey(platform::HWND hwnd, std::int32_t id) override
    {
        Log("UnregisterHotKey", hwnd, id);
        const auto held = hotKeys.find(id);
        if (held == hotKeys.end() || held->second.hwnd != hwnd)
            return Fail(platform::ERROR_HOTKEY_NOT_REGISTERED, false);
        hotKeys.erase(held);
        return true;
    }

    std::uint32_t FormatMessageA(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                                 char* buffer, std::uint32_t size) override
    {
        Log("FormatMessageA", flags, messageId, languageId, size);
        const std::uint32_t n = platform::FormatSystemMessage(flags, messageId, buffer, size);
        return n != 0 ? n : Fail(platform::LastError(), 0u);
    }

    std::uint32_t GetTickCount() override
    {
        log.emplace_back("GetTickCount");
        return tickCount;
    }

    std::uint32_t GetLastError() override
    {
        Log("GetLastError", m_lastError);
        return m_lastError;
    }

    bool IsIconic(platform::HWND hwnd) override
    {
        Log("IsIconic", hwnd);
        return iconic;
    }

    std::int32_t SendMessageA(platform::HWND hwnd, std::int32_t msg, std::int32_t wParam,
                              std::int32_t lParam) override
    {
        Log("SendMessageA", hwnd, msg, wParam, lParam);
        return 0;
    }

    void HookMessage(platform::ISubclass& receiver, platform::HWND hwnd, std::int32_t msg) override
    {
        Log("HookMessage", hwnd, msg);
        if (msg == hookThrowsFor)
            throw HookError(QStringLiteral("cannot hook"));
        m_hooks.Hook(receiver, hwnd, msg);
    }

    void UnhookMessage(platform::ISubclass& receiver, platform::HWND hwnd, std::int32_t msg) override
    {
        Log("UnhookMessage", hwnd, msg);
        if (msg == unhookThrowsFor)
            throw HookError(QStringLiteral("cannot unhook"));
        m_hooks.Unhook(receiver, hwnd, msg);
    }

    QString ExecutableBaseName() override
    {
        log.emplace_back("ExecutableBaseName");
        return exeBaseName;
    }

    static platform::Error HookError(const QString& description)
    {
        return platform::Error(platform::ObjectErrorNumber(1), QStringLiteral("fake.MessageHook"),
                               description);
    }

private:
    template <class... Values>
    void Log(const char* call, Values... values)
    {
        std::string line = call;
        ((line += ' ', line += std::to_string(values)), ...);
        log.push_back(std::move(line));
    }

    template <class Result>
    Result Fail(std::uint32_t error, Result result)
    {
        m_lastError = error;
        return result;
    }

    platform::AtomTable m_atoms;
    platform::MessageHook m_hooks;
    std::uint32_t m_lastError = 0;
};

using FakeServices = FakeServicesOf<>;

} // namespace testing_support
