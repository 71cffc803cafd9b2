// TMailSession: what the POP3 and IMAP sessions share: their connection, the progress count
// of a long read, and the rule that a failure out of step closes the connection.
#pragma once

#include "LineConnection.h"
#include "MailError.h"
#include "core/ServerEndpoint.h"

#include <cstdint>
#include <functional>

class TMailSession {
  public:
    // The server and the login; the session ignores Protocol and KeyringKey (the caller reads
    // the password from the keyring).
    TServerEndpoint Server;
    std::string TLSCAFile; // extra trusted certificates, beside the system's
    // Bytes per second a reply must average once it has taken longer than the read timeout.
    size_t MinReplyRate = DefaultMinReplyRate;
    // Progress of a long read: bytes received since it began.
    std::function<void(int64_t position)> OnWork;

  protected:
    TMailSession() {
        FConnection.OnReceived = [this](size_t bytes) {
            if (!FCounting)
                return;
            FWorkCount += static_cast<int64_t>(bytes);
            if (OnWork)
                OnWork(FWorkCount);
        };
    }
    ~TMailSession() = default;
    TMailSession(const TMailSession&) = delete;
    TMailSession& operator=(const TMailSession&) = delete;

    // Forgets what the session knew of the stream and closes the socket.
    virtual void CloseConnection() = 0;

    // Runs step; a failure that leaves the stream in step (a refusal read to its end) keeps
    // the session, any other closes it.
    template <class TStep> auto Guarded(TStep step) -> decltype(step()) {
        try {
            return step();
        } catch (const EMailInStepError&) {
            throw;
        } catch (...) {
            CloseConnection();
            throw;
        }
    }

    TLineConnection FConnection;
    bool FCounting = false;
    int64_t FWorkCount = 0;
};
