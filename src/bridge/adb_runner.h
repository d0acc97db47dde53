// Runs the adb client (and the few other programs beside the host) as child processes. Runs
// take turns: at most one waited-for child at a time. Exit codes are never read.
#pragma once

namespace zentro::bridge {

constexpr int kCommandLineSize = 1024;

// The runner's waits.
struct RunnerTimings {
    int boundedMs = 20000;
    int captureMs = 4000;
    int turnPollMs = 100;
};

// Run: waits without limit. 0 once the child ended, -1 if it could not be started.
int runAdb(const char* args);

// Whether the command line of `args` fits without being cut: callers whose arguments come
// from the host refuse what would be cut rather than run a different command.
bool adbArgumentsFit(const char* args);

// What the host or a phone names must reach adb as the one argument it was meant to be: never
// split by a blank, never closing its quotes early. Each check writes a log line naming `what`
// when it refuses, and the caller then refuses its call with its usual error result.
//
// A serial or package name standing bare: letters, digits and ".:-_" only, not starting with
// "-" (it would read as an option). The empty text passes (a missing phone keeps its old line).
bool plainAdbWord(const char* word, const char* what);
// A file name or path standing inside double quotes: no quote, and no backslash right before
// the closing quote (it would escape it).
bool quotableAdbText(const char* text, const char* what);
// A path standing bare: no blank, tab or quote.
bool bareAdbText(const char* text, const char* what);

// Run bounded: waits at most 20 s. -1 on time-out or start failure, else 0.
int runAdbBounded(const char* args);

// Run capturing: standard output into `outputPath` (a new file), waits at most 4 s. 0 whether or
// not the child ended in time (the caller reads what arrived), -1 if it could not be started.
int runAdbCapturing(const char* args, const char* outputPath);

// Run tool: "<host>/<program> <args>" through the command interpreter, waits without limit.
int runTool(const char* program, const char* argsOrNull);

// Launch detached: starts the complete command line and returns at once. 0 or -1.
int launchDetached(const char* commandLine);

// A fresh path "<work folder>sdlk%06d" with no file at it. `out` holds at least 1024 bytes.
void makeTempOutputPath(char* out);

} // namespace zentro::bridge
