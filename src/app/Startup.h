// The start-up sequence, the message loop and the shut-down order of the program.
#pragma once

#include <string>
#include <vector>

// The skin to load: the first of names equal to wanted (exact, case-sensitive), else
// the first of names; empty when there is none.
std::string ChooseSkin(const std::vector<std::string>& names, const std::string& wanted);

// Runs the program once AppPath is set and the TQBApplication exists: settings, skins,
// single instance, cache folder, windows, message loop, then the windows are destroyed
// and the settings saved. Returns the process exit code.
int RunQuillbar();
