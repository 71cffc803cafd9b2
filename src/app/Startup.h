// The start-up sequence, the message loop and the shut-down order of the program.
#pragma once

#include "app/CommandLine.h"

// Runs the program once AppPath and its folders are set and the TQBApplication exists: settings,
// skins, single instance, cache folder, windows, message loop, then the windows are destroyed and
// the settings saved. Returns the process exit code.
int RunQuillbar(const TCommandLine& options = {});
