// Runs the adb client (and the few other programs beside the host) as child processes. Runs
// take turns: at most one waited-for child at a time. Exit codes are never read.
#pragma once

namespace zentro::bridge {

constexpr int kCommandLineSize = 1024;

// Run: waits without limit. 0 once the child ended, -1 if it could not be started.
int runAdb(const char* args);

// Whether the command line of `args` fits without being cut: callers whose arguments come
// from the host refuse what would be cut rather than run a different command.
bool adbArgumentsFit(const char* args);

// Run bounded: waits at most 20 s. -1 on time-out or start failure, else 0.
int runAdbBounded(const char* args);

// Run capturing: standard output appended to `outputPath`, waits at most 4 s. 0 whether or
// not the child ended in time (the caller reads what arrived), -1 if it could not be started.
int runAdbCapturing(const char* args, const char* outputPath);

// Run tool: "<host>/<program> <args>" through the command interpreter, waits without limit.
int runTool(const char* program, const char* argsOrNull);

// Launch detached: starts the complete command line and returns at once. 0 or -1.
int launchDetached(const char* commandLine);

// A fresh path "<work folder>sdlk%06d" with no file at it. `out` holds at least 1024 bytes.
void makeTempOutputPath(char* out);

} // namespace zentro::bridge
