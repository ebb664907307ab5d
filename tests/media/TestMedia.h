#pragma once

#include <QString>

#include <functional>
#include <ostream>
#include <vector>

// Media for the player's tests, made with FFmpeg when first asked for and kept in the build
// folder: each file is 60 s of a 440 Hz tone (the MP4 also has a moving test picture).
namespace media {

struct Format {
    const char* name;
    const char* file;
    const char* ffmpegArguments;
    // Positions read back within this: one sample for WAV, one coded audio frame for the rest.
    double frameSeconds;

    friend void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }
};

inline constexpr double Length = 60;
inline constexpr double Tone = 440;

const std::vector<Format>& Formats();
const Format& Wav();
const Format& Mp4();

// The file's full path; made on first use, safely when several tests ask at once.
QString Path(const Format& format);
// The same for a file FFmpeg makes from these arguments (inputs, filters, encoding), or, when
// `speech` is given, from espeak-ng's reading of it as the input "speech.wav" (which the
// arguments then name).
QString Made(const char* file, const QString& arguments, const QString& speech = {});
// Runs FFmpeg with these arguments after the input/output options; true on success.
bool Ffmpeg(const QStringList& arguments);

// Processes events until done() or the time is up; returns done().
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);
void Pump(int milliseconds);

// The frequency of a tone recorded by mpv's pcm output (a WAV file of floats), from the
// zero crossings of its first channel, and the recording's length in seconds.
struct Recording {
    double seconds = 0;
    double frequency = 0;
};
Recording Analyse(const QString& wavPath);

} // namespace media
