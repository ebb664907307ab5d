#include "frm1.h"

#include "Messages.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>

namespace app {

namespace {

const QString TypingRefused =
    QStringLiteral("Horchpult may not type into other programs on this desktop: the timestamp %1 is on the "
                   "clipboard, paste it with Ctrl+V.");
const QString OnClipboard = QStringLiteral("The timestamp %1 is on the clipboard: paste it with Ctrl+V.");

} // namespace

void frm1::AddTimestampEntries(QMenu& menu)
{
    QAction* insert = menu.addAction(QStringLiteral("Insert timestamp (F4)"));
    insert->setObjectName(QStringLiteral("zeitmarke"));
    insert->setToolTip(QStringLiteral("put the playback position on the clipboard as a timestamp"));
    connect(insert, &QAction::triggered, this, m_lastResort.Guard([this] { zeitmarke_Click(); }));

    menu.addSeparator();
    auto* formats = new QActionGroup(&menu);
    formats->setExclusive(true);
    for (const TimestampFormat format : TimestampFormats) {
        QAction* choice = menu.addAction(TimestampExample(format));
        choice->setObjectName(QStringLiteral("timestamp_") + TimestampFormatName(format));
        choice->setToolTip(QStringLiteral("write timestamps as %1").arg(choice->text()));
        choice->setCheckable(true);
        choice->setChecked(format == m_timestampFormat);
        formats->addAction(choice);
        connect(choice, &QAction::triggered, this, m_lastResort.Guard([this, format] {
            m_timestampFormat = format;
            KeepChoices();
        }));
    }
}

void frm1::TimestampCommand()
{
    if (geladen == True)
        InsertTimestamp();
}

std::optional<QString> frm1::TimestampNow()
{
    double position = 0;
    if (!Trap(PlaybackFailed, [&] { position = wm1->currentPosition(); }))
        return std::nullopt;
    return TimestampText(position, m_timestampFormat);
}

void frm1::InsertTimestamp()
{
    const std::optional<QString> stamp = TimestampNow();
    if (!stamp)
        return;
    // The desktop may answer after the window has gone.
    m_desktop.TypeText(*stamp, [window = QPointer<frm1>(this), text = *stamp](bool typed) {
        if (!typed && window)
            window->m_lastResort.Run([&] { window->CopyTimestamp(text, TypingRefused.arg(text)); });
    });
}

void frm1::zeitmarke_Click()
{
    // The menu has the focus now, not the editor: the timestamp waits on the clipboard.
    if (geladen != True)
        return;
    if (const std::optional<QString> stamp = TimestampNow())
        CopyTimestamp(*stamp, OnClipboard.arg(*stamp));
}

void frm1::CopyTimestamp(const QString& text, const QString& line)
{
    QGuiApplication::clipboard()->setText(text);
    WithdrawNotice(m_timestampNotice);
    m_timestampNotice = line;
    ShowNotice(m_timestampNotice);
}

} // namespace app
