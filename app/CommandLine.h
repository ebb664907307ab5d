#pragma once

#include <QString>

#include <optional>

namespace platform {
class LastResort;
}

namespace app {

class frm1;

// What the program is started with: nothing, or the one file that a desktop's "Open with" passes
// (the launcher's Exec=horchpult %f). "--" ends the options, so that a file whose name begins
// with a dash can follow it.
struct CommandLine {
    std::optional<QString> file;
};

// Exit status of a command line that is not understood.
constexpr int UsageExitCode = 2;

// The command line in argv; none when it is not understood (an option, a second file), after
// the one line of usage has gone to standard error. Runs before Qt sees the arguments, so no
// window is shown for a wrong one.
std::optional<CommandLine> ReadCommandLine(int argc, const char* const argv[]);

// Once the event loop runs, the shown window opens the command line's file as File > open does,
// with the same messages; without a file nothing happens.
void OpenFromCommandLine(const CommandLine& commandLine, frm1& window, platform::LastResort& lastResort);

} // namespace app
