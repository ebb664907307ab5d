#include "frm1.h"

#include "Messages.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

#include <string_view>

namespace app {

namespace {

// A timestamp is looked for this far into what is selected; a whole transcript selected costs no
// more than its beginning.
constexpr std::size_t SelectionLimit = 64 * 1024;
constexpr int QuotedLength = 40;
constexpr int JumpNoticeMs = 5000;

const QString WentTo = QStringLiteral("Went to %1");
const QString PastTheEnd = QStringLiteral("%1 is past the end of the recording: went to its end, %2");
const QString NoTimestamp = QStringLiteral("No timestamp in \"%1\"");
// Some desktops hand a selection to no other program, so this may also be one Horchpult cannot see.
const QString NothingSelected = QStringLiteral("Nothing is selected that Horchpult can read: select a timestamp, "
                                               "or copy it (Ctrl+C), then press Shift+F4; or drag it onto this window.");
const QString NoAnswer = QStringLiteral("The program with the selection did not hand it over: copy the timestamp, "
                                        "then press Shift+F4, or drag it onto this window.");
const QString CannotRead = QStringLiteral("This desktop does not let Horchpult read what is selected elsewhere: "
                                          "drag the timestamp onto this window.");

// The beginning of what was read, as the user would recognise it: one line of printable text.
QString Quoted(const QByteArray& text)
{
    QString shown = QString::fromUtf8(text.left(QuotedLength * 4));
    for (QChar& c : shown) {
        if (!c.isPrint())
            c = u' ';
    }
    return shown.simplified().left(QuotedLength);
}

} // namespace

void frm1::AddJumpEntry(QMenu& menu)
{
    QAction* jump = menu.addAction(QStringLiteral("Go to selected timestamp (Shift+F4)"));
    jump->setObjectName(QStringLiteral("zeitsprung"));
    jump->setToolTip(QStringLiteral("go to the first timestamp in the text selected in the editor"));
    connect(jump, &QAction::triggered, this, m_lastResort.Guard([this] { zeitsprung_Click(); }));
    setAcceptDrops(true);
}

void frm1::zeitsprung_Click()
{
    if (geladen == True)
        GoToSelectedTimestamp();
}

void frm1::GoToSelectedTimestamp()
{
    // The desktop may answer after the window has gone.
    m_desktop.ReadSelection(SelectionLimit, [window = QPointer<frm1>(this)](const platform::SelectionText& read) {
        if (window)
            window->m_lastResort.Run([&] { window->GoToTimestampRead(read); });
    });
}

void frm1::GoToTimestampRead(const platform::SelectionText& read)
{
    using Outcome = platform::SelectionText::Outcome;
    switch (read.outcome) {
    case Outcome::Read:
        GoToTimestampIn(read.bytes);
        return;
    case Outcome::NothingThere:
        ShowJumpNotice(NothingSelected);
        return;
    case Outcome::NoAnswer:
        ShowJumpNotice(NoAnswer);
        return;
    case Outcome::CannotRead:
        ShowJumpNotice(CannotRead);
        return;
    }
}

void frm1::GoToTimestampIn(const QByteArray& text)
{
    if (geladen != True)
        return;
    const std::optional<double> stamp = FirstTimestamp(std::string_view(text.constData(), text.size()));
    if (!stamp) {
        ShowJumpNotice(NoTimestamp.arg(Quoted(text)));
        return;
    }
    double length = 0;
    if (!Trap(PlaybackFailed, [&] { length = wm1->duration(); }))
        return;
    const bool pastTheEnd = length > 0 && *stamp > length;
    const double target = pastTheEnd ? length : *stamp;
    if (!Seek(JumpFailed, [target] { return target; }))
        return;
    const auto written = [](double seconds) { return TimestampText(seconds, TimestampFormat::Decimal); };
    ShowJumpNotice(pastTheEnd ? PastTheEnd.arg(written(*stamp), written(length)) : WentTo.arg(written(target)));
}

void frm1::ShowJumpNotice(const QString& text)
{
    WithdrawNotice(m_jumpNotice);
    m_jumpNotice = text;
    ShowNotice(m_jumpNotice);
    if (m_jumpNoticeTimer == nullptr) {
        m_jumpNoticeTimer = new QTimer(this);
        m_jumpNoticeTimer->setSingleShot(true);
        connect(m_jumpNoticeTimer, &QTimer::timeout, this, m_lastResort.Guard([this] {
            WithdrawNotice(m_jumpNotice);
            m_jumpNotice.clear();
        }));
    }
    m_jumpNoticeTimer->start(JumpNoticeMs);
}

void frm1::dragEnterEvent(QDragEnterEvent* event)
{
    // Files dropped from a file manager come as text too: their names are no timestamps.
    if (event->mimeData()->hasText() && !event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void frm1::dropEvent(QDropEvent* event)
{
    const QByteArray text = event->mimeData()->text().left(SelectionLimit).toUtf8();
    event->acceptProposedAction();
    m_lastResort.Run([&] { GoToTimestampIn(text); });
}

} // namespace app
