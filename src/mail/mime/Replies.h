// What a reply is addressed to, and mailto links made safe to hand to the desktop.
#pragma once

#include "mime/Message.h"

#include <string>
#include <vector>

// The addresses a reply goes to: Reply-To when the message has one, else From; with all,
// also every To and CC address. Each once (compared without regard to case), blanks
// trimmed, the user's own address (ownAddress) left out.
std::vector<std::string> ReplyAddresses(const TQBMessage& message, bool all,
                                        const std::string& ownAddress);

// A mailto link without its attach= and attachment= parameters, which would have the mail
// program attach a local file the message's sender named; other links as they are.
std::string SafeMailtoUrl(const std::string& url);
