#include "LinuxPlatform.h"

#include "Error.h"
#include "LastError.h"
#include "LastResort.h"
#include "MessageBox.h"
#include "SystemText.h"
#include "TickCount.h"
#include "X11HotKeys.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QWidget>

namespace platform {

namespace {
constexpr std::int32_t SystemCommandMask = 0xFFF0;
}

LinuxPlatform::LinuxPlatform(LastResort& lastResort) : m_lastResort(lastResort)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr)
        return;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    m_keys = std::make_unique<X11HotKeys>(
        connection, root, [this](HWND hwnd, std::int32_t id, std::uint32_t fsModifiers, std::uint32_t vk) {
            const auto lParam = static_cast<std::int32_t>((vk << 16) | (fsModifiers & 0xFFFF));
            m_lastResort.Run([&] { Deliver(hwnd, WM_HOTKEY, id, lParam); });
        });
    qGuiApp->installNativeEventFilter(m_keys.get());
}

LinuxPlatform::~LinuxPlatform()
{
    if (m_keys)
        qGuiApp->removeNativeEventFilter(m_keys.get());
}

HWND LinuxPlatform::RegisterWindow(QWidget& window)
{
    const auto hwnd = static_cast<HWND>(window.winId());
    m_windows.insert(hwnd, &window);
    return hwnd;
}

void LinuxPlatform::WindowDestroyed(HWND hwnd)
{
    m_lastResort.Run([&] { Deliver(hwnd, WM_DESTROY, 0, 0); });
    m_hooks.UnhookWindow(hwnd);
    if (m_keys)
        m_keys->UnregisterWindow(hwnd);
    m_windows.remove(hwnd);
}

void LinuxPlatform::MessageBox(QWidget* owner, const QString& text)
{
    ShowMessageBox(owner, text);
}

QString LinuxPlatform::ChooseFile(QWidget* owner, std::uint32_t flags)
{
    QFileDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("CmD1"));
    dialog.setFileMode((flags & OFN_FILEMUSTEXIST) != 0 ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

ATOM LinuxPlatform::GlobalAddAtomA(const QByteArray& name)
{
    return m_atoms.Add(name);
}

ATOM LinuxPlatform::GlobalDeleteAtom(ATOM atom)
{
    return m_atoms.Delete(atom);
}

bool LinuxPlatform::RegisterHotKey(HWND hwnd, std::int32_t id, std::uint32_t fsModifiers, std::uint32_t vk)
{
    if (!m_keys || (hwnd != 0 && !IsWindow(hwnd))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return m_keys->Register(hwnd, id, fsModifiers, vk);
}

bool LinuxPlatform::UnregisterHotKey(HWND hwnd, std::int32_t id)
{
    if (!m_keys) {
        SetLastError(ERROR_HOTKEY_NOT_REGISTERED);
        return false;
    }
    return m_keys->Unregister(hwnd, id);
}

std::uint32_t LinuxPlatform::FormatMessageA(std::uint32_t flags, std::uint32_t messageId,
                                            std::uint32_t /*languageId*/, char* buffer, std::uint32_t size)
{
    return FormatSystemMessage(flags, messageId, buffer, size);
}

std::uint32_t LinuxPlatform::GetTickCount()
{
    return TickCount();
}

std::uint32_t LinuxPlatform::GetLastError()
{
    return LastError();
}

bool LinuxPlatform::IsIconic(HWND hwnd)
{
    const QWidget* window = m_windows.value(hwnd);
    return window != nullptr && window->isMinimized();
}

std::int32_t LinuxPlatform::SendMessageA(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam)
{
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return Deliver(hwnd, msg, wParam, lParam);
}

void LinuxPlatform::HookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg)
{
    if (!IsWindow(hwnd)) {
        throw Error(ObjectErrorNumber(1), platform::ExecutableBaseName() + QStringLiteral(".MessageHook"),
                    QStringLiteral("Cannot hook messages of window %1: no such window").arg(hwnd));
    }
    m_hooks.Hook(receiver, hwnd, msg);
}

void LinuxPlatform::UnhookMessage(ISubclass& receiver, HWND hwnd, std::int32_t msg)
{
    m_hooks.Unhook(receiver, hwnd, msg);
}

QString LinuxPlatform::ExecutableBaseName()
{
    return platform::ExecutableBaseName();
}

std::int32_t LinuxPlatform::Deliver(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t lParam)
{
    return m_hooks.Deliver(hwnd, msg, wParam, lParam,
                           [this](HWND h, std::int32_t m, std::int32_t w, std::int32_t l) {
                               return OwnProcessing(h, m, w, l);
                           });
}

std::int32_t LinuxPlatform::OwnProcessing(HWND hwnd, std::int32_t msg, std::int32_t wParam, std::int32_t)
{
    QWidget* window = m_windows.value(hwnd);
    if (window != nullptr && msg == WM_SYSCOMMAND && (wParam & SystemCommandMask) == SC_RESTORE)
        window->showNormal();
    return 0;
}

bool LinuxPlatform::IsWindow(HWND hwnd) const
{
    return m_windows.value(hwnd) != nullptr;
}

} // namespace platform
