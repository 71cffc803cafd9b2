// UTF-8 code points: writing one, and checking the sequence at a place in a text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Appends the UTF-8 form of a code point; surrogates and values beyond U+10FFFF give U+FFFD.
void AppendUtf8(std::string& out, char32_t code);

// Length of the valid UTF-8 sequence at text[i] (1 for ASCII), 0 when none starts there:
// overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
size_t Utf8SequenceLength(std::string_view text, size_t i);
