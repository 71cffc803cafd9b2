// The new-mail sound: a wave file played asynchronously, silent when it cannot play.
#pragma once

#include <functional>
#include <string>

// Starts playing the file and returns at once. A missing file plays nothing (no
// default sound); a missing audio device plays nothing and reports nothing.
void PlaySoundFile(const std::string& path);

// What plays an existing file, given by its absolute path. Tests replace it to see what the
// program asks to hear; an empty player restores the audio device. Returns the one before.
using TSoundPlayer = std::function<void(const std::string& absolutePath)>;
TSoundPlayer SetSoundPlayer(TSoundPlayer player);
