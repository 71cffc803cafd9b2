// The "first lines" of a message cut from a longer start of it.
#pragma once

#include <string>

// Cuts text, the start of a message with CR LF line ends, to its header and first maxLines
// body lines, dropping a last line that a byte limit broke off.
void KeepFirstLines(std::string& text, int maxLines);
