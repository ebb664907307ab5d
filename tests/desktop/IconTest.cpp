// The icon files the desktop shows against the drawing the window shows: the PNGs are that
// drawing, and the hand-written SVG, as the desktop's own renderer draws it, matches it.
#include "app/Icon.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QImage Comparable(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The share of pixels whose colour or coverage differs visibly, in any channel.
double DifferingShare(const QImage& a, const QImage& b)
{
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (most > 64)
                ++differing;
        }
    }
    return static_cast<double>(differing) / (a.width() * a.height());
}

TEST(Icon, EveryPngIsTheWindowsDrawingAtItsSize)
{
    for (int size : {16, 32, 48, 128, 256}) {
        const QString file = QStringLiteral(HORCHPULT_ICON_DIR "/%1/horchpult.png").arg(size);
        const QImage png(file);
        ASSERT_FALSE(png.isNull()) << "cannot read " << file.toStdString();
        EXPECT_EQ(png.size(), QSize(size, size)) << file.toStdString();
        EXPECT_TRUE(Comparable(png) == Comparable(app::IconPixmap(size).toImage())) << file.toStdString();
    }
}

TEST(Icon, TheScalableIconLooksLikeTheDrawing)
{
    QTemporaryDir folder;
    for (int size : {32, 128, 256}) {
        const QString rendered = folder.filePath(QStringLiteral("%1.png").arg(size));
        const int status = QProcess::execute(QStringLiteral("rsvg-convert"),
                                             {QStringLiteral("-w"), QString::number(size), QStringLiteral("-h"),
                                              QString::number(size), QStringLiteral("-o"), rendered,
                                              QStringLiteral(HORCHPULT_SVG_ICON)});
        ASSERT_EQ(status, 0) << "rsvg-convert could not draw " HORCHPULT_SVG_ICON;
        const QImage svg = Comparable(QImage(rendered));
        ASSERT_EQ(svg.size(), QSize(size, size));
        const QImage drawn = Comparable(app::IconPixmap(size).toImage());
        EXPECT_LT(DifferingShare(svg, drawn), 0.02) << "at " << size << " pixels";
    }
}

} // namespace
