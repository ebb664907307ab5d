#include "UdevRule.h"

#include "Models.h"

namespace pedal {

QString UdevRule()
{
    QString rule = QStringLiteral(
        "# Transcription foot pedals read by Horchpult through hidraw: the user at the seat may open\n"
        "# them, nobody else (uaccess, not a world-writable mode).\n");
    for (const Model& model : Models())
        rule += QStringLiteral("# %1\nSUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%2\", ATTRS{idProduct}==\"%3\", "
                               "TAG+=\"uaccess\"\n")
                    .arg(QString::fromUtf8(model.name))
                    .arg(model.vendor, 4, 16, QLatin1Char('0'))
                    .arg(model.product, 4, 16, QLatin1Char('0'));
    return rule;
}

QString ModaliasProvides()
{
    // Modaliases write the ids in capitals.
    const auto hex = [](std::uint16_t id) { return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper(); };
    QString lines;
    for (const Model& model : Models())
        lines += QStringLiteral("    <modalias>usb:v%1p%2d*</modalias>\n").arg(hex(model.vendor), hex(model.product));
    return lines;
}

} // namespace pedal
