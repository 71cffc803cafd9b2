// Parses of header values into the message object's fields: addresses and Received data.
#pragma once

#include "mime/Message.h"

#include <string>
#include <string_view>
#include <vector>

// Name: the display phrase before "<" with quoted strings unquoted, comments dropped
// and blank runs made one blank; encoded words stay as written. Address: the text in
// the angle brackets ("" when ">" is missing). Without "<" the text is the address as
// written (untrimmed), less any comment, and a comment ("a@b.org (Ann)") names it.
TQBContact ParseAddress(const std::string& value);

// One contact per comma-separated piece; pieces are not trimmed, and a comma inside
// a quoted string or a comment does not separate.
std::vector<TQBContact> ParseAddressList(const std::string& value);

// Fills received[0] and [1] from the first two "Received: " lines of headers.
void ScanReceived(const std::vector<std::string>& headers, TQBReceived (&received)[2]);

// The Message-ID of a message's lines (its header up to the first empty line), folded
// lines joined and blanks around it trimmed; "" when it has none. It tells whether a
// message fetched later is the one whose header was announced.
std::string MessageIdOf(const std::vector<std::string>& lines);
// The same for a message's text, lines ending in CR LF (or LF).
std::string MessageIdOf(std::string_view text);
