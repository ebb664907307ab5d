#pragma once

// File > open in a window of this process, its dialog answered from inside the process as a
// user answers it: the file's full path typed into the dialog's name box, and open. Shared by
// the portal tests and the portal benchmark, which have no X client of their own to type with.

#include "app/frm1.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

namespace testing_support {

// Returns when the window's open command has ended; whether it loaded the file is the caller's
// to check. A message box in the dialog's place is closed and its text added to messages, so
// nothing waits for a click.
inline void OpenThroughFileMenu(app::frm1& window, const QString& path, QStringList& messages)
{
    QTimer chooser;
    chooser.setInterval(20);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            // Not selectFile(): it leaves the name box as it is while the box has the focus.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            box->close();
        }
    });
    chooser.start();
    window.findChild<QAction*>(QStringLiteral("neu"))->trigger();
}

} // namespace testing_support
