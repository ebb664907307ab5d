#pragma once

#include "tHotKeyEntry.h"

#include "platform/Event.h"
#include "platform/ISubclass.h"
#include "platform/Services.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace hotkeys {

// A registry of named system-wide hot keys bound to one window. Each key gets a global atom of
// its own, whose value is the hot-key id. Attach hooks the window's WM_HOTKEY and WM_DESTROY;
// every WM_HOTKEY raises HotKeyPress, WM_DESTROY releases everything. Errors are raised as
// platform::Error with the numbers below; the class catches none. Used on the window's thread
// only. The Services object must outlive the registry.
class cRegHotKey final : public platform::ISubclass {
public:
    static constexpr std::int32_t ErrNoSuchKey = 1049;
    static constexpr std::int32_t ErrAddAtom = 1050;
    static constexpr std::int32_t ErrRegister = 1051;
    static constexpr std::int32_t ErrDuplicate = 1052;
    static constexpr int MaxNameLength = 32;
    static constexpr int MaxAtomNameLength = 254;

    explicit cRegHotKey(platform::Services& services);
    ~cRegHotKey() override;
    cRegHotKey(const cRegHotKey&) = delete;
    cRegHotKey& operator=(const cRegHotKey&) = delete;

    void Attach(platform::HWND hwndA);
    void Clear();
    void RegisterKey(const QString& sName, std::int32_t eKey, std::int32_t eModifiers);
    void UnregisterKey(const QString& sName);
    void RestoreAndActivate(platform::HWND hwnd);

    // HotKeyPress(sName, eModifiers, eKey)
    platform::Event<const QString&, std::int32_t, std::int32_t> HotKeyPress;

    std::int32_t MsgResponse() const override;
    void MsgResponse(std::int32_t RHS) override;
    std::int32_t WindowProc(platform::HWND hwnd, std::int32_t iMsg, std::int32_t wParam,
                            std::int32_t lParam) override;

    // Read-only views for callers that show or check the table.
    const std::vector<tHotKeyEntry>& Keys() const { return m_tKeys; }
    platform::HWND AttachedWindow() const { return m_hWnd; }

private:
    void Class_Terminate();
    std::int32_t FindKeyIndex(const QString& sName) const;
    QString SystemErrorText(std::uint32_t code) const;
    [[noreturn]] void Raise(std::int32_t n, const QString& description) const;

    platform::Services& m_services;
    std::vector<tHotKeyEntry> m_tKeys;
    std::int32_t m_iKeyCount = 0;
    platform::HWND m_hWnd = 0;
};

} // namespace hotkeys
