// The installer's run state, its exit codes and the main sequence.
#pragma once

#include <string>

#include "System.h"

namespace setup {

// Set by the main sequence from the command line before any action runs and
// only read afterwards.
struct RunState {
    bool installRequested = false;
    bool removeRequested = false;
    bool silentMode = false;
    bool helpRequested = false;
    bool logRequested = false;
    std::string logPath;
    std::string debugLogArgument;
    bool isWow64 = false;
};

// One run of setup: the platform it talks to and the state it keeps.
struct Context {
    explicit Context(System& sys) : system(sys) {}
    System& system;
    RunState state;
};

enum ExitCode : int {
    ExitCompleted = 0,
    ExitBadCommandLine = 1,
    ExitBadLogPath = 2,
    ExitNotWindows7 = 3,
    ExitRescanFailed = 4,
    ExitNoPackageFolder = 5,
    ExitOtherVersion = 6,
    ExitNotInstalled = 7,
    // A package program could not be started: no pipe, or no interpreter.
    ExitCannotStart = 8,
    // An input does not fit what the platform or setup can take: the package
    // folder path, or the uninstall command line.
    ExitInputTooLong = 9,
};

// Thrown to end the run at once; RunInstaller turns it into the exit code.
struct RunEnded {
    int exitCode;
};

[[noreturn]] void EndRun(int exitCode);

extern const char* const ProductName;
extern const char* const OtherVersionQuestion;

// Matches argv[index] against the option table: 1 when it matched (and the
// state was updated), 0 otherwise.
int ParseOption(Context& context, char** argv, int index);

void PrintUsage(Context& context);

// The whole run, from the command line to the exit code.
int RunInstaller(Context& context, int argc, char** argv);

}  // namespace setup
