#pragma once

#include "media/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>

// Recordings of three hours for the benchmarks: a 440 Hz tone sampled at 8 kHz, in the encoding
// FFmpeg's arguments name, made on the first run and kept beside the test media, where the
// media tests' way of making files lets two benchmarks ask for one at once.
inline constexpr double ThreeHours = 3 * 3600;

inline QString ThreeHourFile(const char* file, const char* encoding)
{
    if (!QFile::exists(QDir(QStringLiteral(HORCHPULT_MEDIA_DIR)).filePath(QString::fromLatin1(file)))) {
        std::printf("making %s ...\n", file);
        std::fflush(stdout);
    }
    return media::Made(file, QStringLiteral("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=%1 %2")
                                 .arg(ThreeHours)
                                 .arg(QLatin1String(encoding)));
}

inline QString ThreeHourMp3()
{
    // LAME's fastest search makes a stream of the same bit rate in a third less time.
    return ThreeHourFile("three-hours.mp3", "-ac 1 -c:a libmp3lame -b:a 8k -compression_level 9");
}
