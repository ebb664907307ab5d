// Writes the program's icon for the desktop's icon theme as DIR/SIZE/horchpult.png, one file
// for each size given, drawn by the same code that draws the window's icon.
#include "app/Icon.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 3) {
        std::fputs("usage: horchpult_icons DIR SIZE...\n", stderr);
        return 2;
    }
    const QDir folder(arguments.at(1));
    for (const QString& size : arguments.mid(2)) {
        bool isNumber = false;
        const int pixels = size.toInt(&isNumber);
        if (!isNumber || pixels <= 0 || !folder.mkpath(size)
            || !app::IconPixmap(pixels).save(folder.filePath(size + QStringLiteral("/horchpult.png")), "PNG")) {
            std::fprintf(stderr, "horchpult_icons: cannot write the icon of %s pixels\n", qPrintable(size));
            return 1;
        }
    }
    return 0;
}
