// Writes the udev rule for the foot pedals into the folder given, under the name udev sorts it
// by, and the metainfo with the pedals' modaliases in place of its marker line, both from the
// table of models the program reads.
#include "pedal/UdevRule.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

constexpr char ModaliasMarker[] = "    <!-- the foot pedals' modaliases -->\n";

bool Write(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size())
        return true;
    std::fprintf(stderr, "horchpult_udev_rule: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fputs("usage: horchpult_udev_rule DIR METAINFO_TEMPLATE METAINFO\n", stderr);
        return 2;
    }
    QFile templateFile(QString::fromLocal8Bit(argv[2]));
    if (!templateFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "horchpult_udev_rule: cannot read %s\n", argv[2]);
        return 1;
    }
    QByteArray metainfo = templateFile.readAll();
    metainfo.replace(ModaliasMarker, pedal::ModaliasProvides().toUtf8());
    const QString rule = QDir(QString::fromLocal8Bit(argv[1])).filePath(QString::fromLatin1(pedal::UdevRuleFileName));
    return Write(rule, pedal::UdevRule().toUtf8()) && Write(QString::fromLocal8Bit(argv[3]), metainfo) ? 0 : 1;
}
