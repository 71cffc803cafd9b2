// The new-mail sound: a wave file played asynchronously, silent when it cannot play.
#pragma once

#include <string>

// Starts playing the file and returns at once. A missing file plays nothing (no
// default sound); a missing audio device plays nothing and reports nothing.
void PlaySoundFile(const std::string& path);

// How many sounds were started in this run (for tests).
int SoundsStarted();
