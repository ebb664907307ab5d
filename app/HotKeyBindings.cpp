#include "frm1.h"

#include "platform/VirtualKeys.h"

#include <QLabel>

namespace app {

namespace {

// What the user can do where the keys do not reach the program from everywhere.
const QString BindThemInstead = QStringLiteral(
    " To have them while typing anywhere, bind keys in the desktop's keyboard settings to the commands "
    "\"playerctl -p horchpult play\", \"playerctl -p horchpult pause\" and \"playerctl -p horchpult position 1-\".");

// The keys as the notices name them: "F1, F2, F3, F4 and Shift+F1".
QString AllKeys(const QStringList& keys)
{
    QStringList sorted = keys;
    sorted.sort();
    const QString last = sorted.takeLast();
    return sorted.isEmpty() ? last : sorted.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString OnlyWhileX11HasFocus(const QStringList& keys)
{
    return QStringLiteral("This Wayland desktop offers no global shortcuts to programs, so %1 reach Horchpult "
                          "only while an X11 program has the keyboard focus.")
               .arg(AllKeys(keys)) +
           BindThemInstead;
}

QString Nowhere(const QStringList& keys)
{
    return QStringLiteral("This Wayland desktop offers no global shortcuts to programs and has no XWayland, so %1 "
                          "do not reach Horchpult while you type elsewhere; use the buttons here.")
               .arg(AllKeys(keys)) +
           BindThemInstead;
}

// The notice's button: the desktop's own page for the program's keys, or the desktop's question
// asked once more.
const QString ChooseKeys = QStringLiteral("Choose keys\u2026");
const QString AskAgain = QStringLiteral("Ask again");

// Whether the desktop's words for a trigger name the key asked for: Plasma writes "F3", GNOME
// "Press F3" or "Press F3 or F12".
bool SameTrigger(const QString& given, const QString& asked)
{
    const QStringList words = given.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return std::any_of(words.begin(), words.end(),
                       [&](const QString& word) { return word.compare(asked, Qt::CaseInsensitive) == 0; });
}

} // namespace

void frm1::DescribeHotKeys()
{
    QStringList keys;
    for (const HotKeyRow& key : HotKeyTable()) {
        m_desktop.DescribeHotKey(QString::fromLatin1(key.name), QString::fromUtf8(key.description));
        keys << platform::KeyText(key.modifiers, key.vk);
    }
    // The desktop may answer after the window has gone.
    m_hotKeysBound = m_desktop.HotKeysBound.connect([this](const std::vector<platform::HotKeyTrigger>& triggers) {
        m_desktop_HotKeysBound(triggers);
    });
    switch (m_desktop.HotKeysReach()) {
    case platform::HotKeyReach::WhileX11HasFocus:
        ShowNotice(OnlyWhileX11HasFocus(keys));
        break;
    case platform::HotKeyReach::Nowhere:
        ShowNotice(Nowhere(keys));
        break;
    case platform::HotKeyReach::Everywhere:
        break;
    }
}

void frm1::m_desktop_HotKeysBound(const std::vector<platform::HotKeyTrigger>& triggers)
{
    QStringList unbound;
    for (const platform::HotKeyTrigger& given : triggers) {
        const HotKeyRow* row = FindHotKey([&](const HotKeyRow& key) {
            return key.vk == given.vk && key.modifiers == (given.fsModifiers & ~platform::MOD_NOREPEAT);
        });
        if (given.hwnd != m_hWnd || row == nullptr)
            continue;
        if (given.trigger.isEmpty())
            unbound << platform::KeyText(row->modifiers, row->vk);
        if (row->label == nullptr)
            continue;
        const QString key = platform::TriggerOf(row->modifiers, row->vk);
        auto* label = findChild<QLabel*>(QString::fromLatin1(row->label));
        if (!m_keyToolTips.contains(row->vk))
            m_keyToolTips.insert(row->vk, label->toolTip());
        QString toolTip = m_keyToolTips.value(row->vk);
        if (given.trigger.isEmpty()) {
            toolTip += QStringLiteral(" (the desktop left %1 unbound)").arg(key);
        } else if (!SameTrigger(given.trigger, key)) {
            toolTip.replace(QStringLiteral("function key ") + key,
                            QStringLiteral("%1 (the desktop's key for %2)").arg(given.trigger, key));
        }
        label->setToolTip(toolTip);
        label->setAccessibleDescription(toolTip);
    }
    WithdrawNotice(m_unboundNotice);
    m_unboundNotice.clear();
    if (unbound.isEmpty())
        return;
    const platform::HotKeyChoice choice = m_desktop.HotKeysChoice();
    m_unboundNotice = QStringLiteral("The desktop left %1 unbound: %2 not reach Horchpult while you type "
                                     "elsewhere. Give %3 in %4, or press \"%5\".")
                          .arg(unbound.join(QStringLiteral(", ")),
                               unbound.size() == 1 ? QStringLiteral("it does") : QStringLiteral("they do"),
                               unbound.size() == 1 ? QStringLiteral("it a key") : QStringLiteral("them keys"),
                               choice.settings, choice.ownPage ? ChooseKeys : AskAgain);
    ShowNotice(m_unboundNotice, {choice.ownPage ? ChooseKeys : AskAgain, [this] { m_desktop.ChooseHotKeys(); }});
}

} // namespace app
