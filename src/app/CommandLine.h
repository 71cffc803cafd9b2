// The program's command-line options: the switches the benchmarks use, --help and --version.
#pragma once

#include <QString>

struct TCommandLine {
    bool Pipelining = true; // off: POP3 commands go one at a time, for comparisons
    QString StallLog;       // a file for the main loop's longest stall in ms; empty: none
    // Set when the program is to end at once with ExitCode (after --help, --version or an
    // unknown option), having printed what was asked.
    bool Done = false;
    int ExitCode = 0;
};

// Parses argv; needs no application object, so that --help works without a display.
TCommandLine ParseCommandLine(int argc, char** argv);
