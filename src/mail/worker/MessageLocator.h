// TMessageLocator: finds on the server, as it is now, the messages a job names by key.
#pragma once

#include "QBTaskInfo.h"
#include "net/MailError.h"
#include "pop3/POP3Session.h"

#include <string>
#include <unordered_map>
#include <vector>

// The key of ref now belongs to more or fewer messages than when it was announced, so
// which of them was meant cannot be told.
class EAmbiguousMessage : public EMailInStepError {
  public:
    EAmbiguousMessage();
};

// The key of a message on a server without UIDL: a digest of its header, so that a message
// keeps its key across sessions (and a read mark follows the header).
std::string HeaderKey(const TStringList& header);

// Another client may remove messages between two sessions, which renumbers the rest: a
// number from the last check may name another message by now. One locator serves one
// session (numbers do not change within it).
class TMessageLocator {
  public:
    explicit TMessageLocator(TQBPOP3& pop3) : FPOP3(pop3) {}

    // The current number of ref; 0 when the server no longer has it. Confirms the number
    // of the last check with "UIDL n" (or its header, without UIDL) and reads the whole list
    // only when that fails.
    // Throws EAmbiguousMessage, or EMailError when the server fails.
    int Locate(const TMessageRef& ref);
    // Reads the whole list now: cheaper than one "UIDL n" each for several messages.
    void ListAll();

  private:
    TQBPOP3& FPOP3;
    // The header key of message number; "" when its header cannot be read.
    std::string HeaderKeyOf(int number);
    // Every message's header key, for a server that refused UIDL.
    void ListByHeaders();
    bool FListed = false;
    // Key (MD5Hex gives it in lower case) to the numbers carrying it, ascending.
    std::unordered_map<std::string, std::vector<int>> FNumbers;
};
