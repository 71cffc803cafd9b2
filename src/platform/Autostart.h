// Starting at login: the desktop's autostart entry for the program (the XDG autostart
// folder, $XDG_CONFIG_HOME/autostart or ~/.config/autostart).
#pragma once

#include <QString>

// Where the program's autostart entry is, whether or not it exists.
QString AutostartFile();
// The entry exists and is not hidden.
bool AutostartEnabled();
// Writes the entry, which starts the running executable, or removes it. Returns "" when
// done, else why not.
QString SetAutostart(bool enabled);
