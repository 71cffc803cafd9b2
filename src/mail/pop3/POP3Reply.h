// Parsing of POP3 reply lines: status, message size, APOP timestamp, dot-unstuffing.
#pragma once

#include <string>

enum class TPOP3Status { Unknown = 0, OK = 1, Err = 2 };

struct TPOP3Reply {
    std::string Status; // first four characters, blanks trimmed
    std::string Text;   // the rest of the line, less the blank after the status
    TPOP3Status Code = TPOP3Status::Unknown;
};

// Splits a status line; "+OK" and "-ERR" are recognised without regard to case.
TPOP3Reply ParseReplyLine(const std::string& line);

// Size from the text of a LIST reply ("3 1200" gives 1200); -1 when the text is
// empty or the part after the first blank is not a whole decimal number.
int ParseMessageSize(const std::string& text);

// The message number that opens the text of a LIST or UIDL reply for one message ("3 1200"
// gives 3); -1 when the text does not start with a whole decimal number and a blank or its end.
int ParseMessageNumber(const std::string& text);

// A line of a UIDL listing ("3 uid"), or the text of a one-message UIDL reply, split at any
// run of blanks and tabs; blanks and tabs before and after are ignored, as some servers
// send them. Number is -1 when the line does not start with a whole decimal number.
struct TListingLine {
    int Number = -1;
    std::string Value; // "" when the line has nothing after its number
};
TListingLine ParseListingLine(const std::string& line);

// The "<...>" timestamp of an APOP greeting text, brackets included; "" when none.
std::string APOPTimestamp(const std::string& greetingText);

// A multi-line data line as stored: a leading ".." loses one dot.
std::string UnstuffDot(const std::string& line);
