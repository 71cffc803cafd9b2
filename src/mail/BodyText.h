// The text a reader shows as a message's body: plain text only.
#pragma once

#include <string>

class TQBMessage;

struct TBodyText {
    std::string Text;     // bytes as in the part
    std::string Charset;  // of the part the text came from
    bool TextTab = false; // the text is the message's own plain text: show it in front
};

// The last text/plain part when there is one; else the last text/html part without
// its tags, scripts and styles; else the first part (stripped when the message is
// HTML). An empty result from a message with parts falls back to its first part.
TBodyText SelectBodyText(const TQBMessage& message);
