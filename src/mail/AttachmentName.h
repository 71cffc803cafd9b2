// Attachment file names as the sender gave them, reduced to a name safe to write.
#pragma once

#include <string>

// A bare file name: no directory parts, no NUL or control characters, no leading dots,
// at most 255 bytes (the extension kept where it can be); "attachment" when nothing is
// left.
std::string SafeFileName(const std::string& name);
