// TPOP3HeaderHelper: the second POP3 session of a large check (see THeaderHelper).
#pragma once

#include "HeaderHelper.h"
#include "pop3/POP3Session.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class TPOP3HeaderHelper : public THeaderHelper {
  public:
    struct THeader {
        TStringList Lines; // as TOP n 0 gives them
        int Size = -1;     // from LIST; -1 when the server gave none
    };

    // Starts fetching the headers of the messages whose UIDL ids are uids over a session of
    // its own, set up as like (not yet connected).
    TPOP3HeaderHelper(const TQBPOP3& like, std::vector<std::string> uids, int connectTimeoutMs);
    ~TPOP3HeaderHelper() override;

    // After Wait: moves the header of the message whose UIDL id is uid into header; false
    // when the helper has none.
    bool Take(const std::string& uid, THeader& header);
    // Waits up to ms for the login to end; true when the session is logged in. A server that
    // keeps one session at a time may hold a second login for many seconds before refusing it.
    bool WaitForLogin(int ms);

  private:
    TQBPOP3 FSession;
    std::unordered_map<std::string, THeader> FHeaders;
    std::mutex FLoginLock;
    std::condition_variable FLoginEnded;
    bool FLoginDone = false;
    bool FLoggedIn = false;

    void EndLogin(bool loggedIn);

    void Drop() override { FSession.DropConnection(); }
    void Run(const std::vector<std::string>& uids, int connectTimeoutMs);
    // The messages of uids by this session's numbers, from its own UIDL listing: a message may
    // have come or gone since the worker's.
    void Locate(const std::vector<std::string>& uids, std::vector<int>& numbers,
                std::vector<std::string>& keys);
};
