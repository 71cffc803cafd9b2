// Mailboxes in the mbox format, for the POP3 servers that read one.
#pragma once

#include <string>

// The mbox form of a CR LF message: a "From " separator, LF line ends, and body lines
// starting "From " quoted.
std::string MboxEntry(const std::string& message);

// An mbox of the generated test messages 1 to messages.
std::string GeneratedMbox(int messages);
