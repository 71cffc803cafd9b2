// What a person sees of a message's parts: attachment names and the body text, as UTF-8.
#pragma once

#include <string>
#include <string_view>

class TQBMessage;
struct TQBMessagePart;

// The attachment's name as shown: an extended (RFC 2231) filename parameter of
// Content-Disposition, else name of Content-Type, else FileName or Name with
// encoded words decoded; made one line. Empty when the part names no file.
std::string DisplayFileName(const TQBMessagePart& part);

struct TBodyText {
    std::string Text;     // UTF-8
    bool TextTab = false; // the text is the message's own plain text: show it in front
};

// The body text a person reads, never an attachment's: the first plain part when there is
// one, else the first HTML part stripped of its tags with its character entities resolved, else the
// first part (stripped when the message is HTML); converted from the part's charset (for HTML also
// a <meta> charset) to UTF-8. An empty result from a message with parts falls back to its first
// part.
TBodyText SelectBodyText(const TQBMessage& msg);
// SelectBodyText's text, for tools.
std::string DisplayBody(const TQBMessage& msg);

// The message as received, for the Source view: every line as it is, nothing decoded or
// joined; a line that is not valid UTF-8 is read as Latin-1. Lines end in LF.
std::string SourceText(std::string_view raw);
