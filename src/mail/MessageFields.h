// Parses of header values into the message object's fields: addresses and Received data.
#pragma once

#include "mail/UCustomIndy.h"

#include <string>
#include <vector>

// Name in double quotes and address in angle brackets; without "<" the whole
// rest (untrimmed) is the address.
TQBContact ParseAddress(const std::string& value);

// One contact per comma-separated piece; pieces are not trimmed and quotes do
// not protect a comma.
std::vector<TQBContact> ParseAddressList(const std::string& value);

// Fills received[0] and [1] from the first two "Received: " lines of headers.
void ScanReceived(const std::vector<std::string>& headers, TQBReceived (&received)[2]);

// The Message-ID of a message's lines (its header up to the first empty line), folded
// lines joined and blanks around it trimmed; "" when it has none. It tells whether a
// message fetched later is the one whose header was announced.
std::string MessageIdOf(const std::vector<std::string>& lines);
