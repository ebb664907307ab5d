#include "CommandLine.h"

#include "frm1.h"

#include "platform/LastResort.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace app {

std::optional<CommandLine> ReadCommandLine(int argc, const char* const argv[])
{
    CommandLine commandLine;
    int files = 0;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QFile::decodeName(argv[i]);
        if (options && argument == QLatin1String("--")) {
            options = false;
            continue;
        }
        if ((options && argument.startsWith(u'-')) || ++files > 1) {
            const QString program = QFileInfo(QFile::decodeName(argc > 0 ? argv[0] : "horchpult")).fileName();
            std::fprintf(stderr, "usage: %s [FILE]   (opens the media file FILE, ready to play)\n", qPrintable(program));
            return std::nullopt;
        }
        commandLine.file = argument;
    }
    return commandLine;
}

void OpenFromCommandLine(const CommandLine& commandLine, frm1& window, platform::LastResort& lastResort)
{
    if (!commandLine.file)
        return;
    QTimer::singleShot(0, &window, lastResort.Guard([&window, file = *commandLine.file] { window.OpenGivenFile(file); }));
}

} // namespace app
