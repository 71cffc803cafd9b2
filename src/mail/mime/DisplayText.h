// Header values as a person reads them: encoded words decoded, display names, fields on one line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 text of a raw header value. Encoded words (=?charset?B|Q?...?=) are decoded;
// white space between two of them is dropped; a malformed word or one in a charset
// iconv does not know stays as written. Other bytes are taken as UTF-8 when valid,
// else as Windows-1252. Never fails; invalid sequences become U+FFFD.
std::string DecodeHeaderText(std::string_view raw);

// A display name as ParseAddress gives it (quotes and escapes already undone):
// trimmed, encoded words decoded, also those mailers put inside the quotes.
std::string DisplayName(std::string_view raw);

// "Name (address)" with the name as DisplayName gives it, or the address alone.
std::string ContactText(std::string_view rawName, std::string_view address);

// The most a one-line field keeps of its text, in bytes: far more than a line can show,
// and little enough that measuring and drawing it costs nothing.
constexpr size_t MaxLineBytes = 4096;

// UTF-8 text made fit for a one-line field: folded line breaks removed, other line
// breaks and tabs turned into blanks, other control characters dropped, and the
// bidirectional embedding, override and isolate characters dropped. Text holding
// right-to-left letters is wrapped in a first-strong isolate, so it cannot reorder
// what the field is shown beside; a first-strong isolate closed again before any other
// direction character is kept, so that a field made of such pieces comes through
// unchanged. Text past MaxLineBytes is cut at the end of a character.
std::string SingleLine(std::string_view utf8);
