// The about box's moo: a wave file synthesised once per run.
#pragma once

#include <string>

// Path of the moo wave file, written to the user's private temporary folder on first
// use; "" when it cannot be written.
std::string MooFile();
// The moo as a complete 16-bit mono wave file.
std::string MooWave();
