// Bytes in a named charset to UTF-8, through iconv, with the UTF-8 and Windows-1252 fallbacks.
#pragma once

#include "core/Utf8.h"

#include <string>
#include <string_view>

bool IsValidUtf8(std::string_view text);

// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string RepairUtf8(std::string_view text);
// The character of a Windows-1252 byte; U+FFFD for the five unassigned ones.
char32_t Cp1252CodePoint(unsigned char byte);
// Windows-1252 bytes as UTF-8; the five unassigned bytes give U+FFFD.
std::string Cp1252ToUtf8(std::string_view bytes);
// Undeclared bytes: UTF-8 when they are valid UTF-8, else Windows-1252.
std::string UndeclaredToUtf8(std::string_view bytes);

// Converts bytes in charset (any name glibc's iconv knows, or a label that browsers
// or Python's email package write; case-insensitive, surrounding blanks ignored) to
// UTF-8; invalid sequences become U+FFFD. Latin-1 labels are read as Windows-1252.
// Returns false, leaving out alone, when the charset is still unknown.
bool CharsetToUtf8(std::string_view bytes, std::string_view charset, std::string& out);
// As CharsetToUtf8, falling back to UndeclaredToUtf8 for an empty or unknown charset.
std::string ToUtf8(std::string_view bytes, std::string_view charset);
