// TIMAPWatcher: an IMAP account's own connection, kept in IDLE, that tells when its INBOX
// changes.
#include "IMAPWatcher.h"

#include "core/PasswordVault.h"
#include "net/MailError.h"
#include "oauth/AccessTokens.h"

#include <algorithm>
#include <exception>

namespace {

const int ConnectTimeout = 30000; // ms
// A reply may pause this long while the connection is made; an idle wait has no such limit.
const int SilenceLimit = 60000; // ms

} // namespace

TIMAPWatcher::TIMAPWatcher(TServerEndpoint server, TChange onChange, TTrouble onTrouble,
                           TIMAPWatchTimes times)
    : FServer(std::move(server)), FOnChange(std::move(onChange)), FOnTrouble(std::move(onTrouble)),
      FTimes(times) {
    FSession.Server = FServer;
    FSession.ReadTimeout = SilenceLimit;
    FThread = std::thread([this] { Run(); });
}

TIMAPWatcher::~TIMAPWatcher() {
    Stop();
    {
        std::unique_lock<std::mutex> lock(FLock);
        FWake.wait_for(lock, StopWait, [this] { return FEnded.load(); });
    }
    // A server that does not answer must not hold up the exit.
    if (!FEnded)
        FSession.DropConnection();
    FThread.join();
}

void TIMAPWatcher::Stop() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    // The idle wait sleeps in its read until the server speaks or this wakes it.
    FSession.InterruptIdle();
}

void TIMAPWatcher::Pause(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(FLock);
    FWake.wait_for(lock, pause, [this] { return FStopping.load(); });
}

void TIMAPWatcher::Run() {
    int failures = 0;
    bool reported = false;
    bool reconnecting = false;
    std::chrono::milliseconds pause = FirstPause;
    bool renew = false;  // the server refused the access token held
    std::string refresh; // the refresh token the access token came from
    TClock::time_point tokenDue = TClock::time_point::max(); // when the connection's token ends
    while (!FStopping) {
        std::string cause;
        TClock::time_point idleSince{}; // none: IDLE never began on this connection
        try {
            if (!FServer.KeyringKey.empty() && FServer.Auth == TAuthKind::Password) {
                const TVaultRead read = VaultPassword(FServer.KeyringKey);
                if (!read.Error.empty())
                    throw EMailError(read.Error);
                FSession.Server.Pass = read.Password;
            }
            // The token the worker's checks use, refreshed by whichever needs it first.
            if (FServer.Auth == TAuthKind::OAuth2) {
                const TAccessGrant grant = ObtainAccessToken(FServer, renew);
                // The account's checks tell a void sign-in; the timer checks it until then.
                if (grant.Outcome == TTokenOutcome::SignInExpired)
                    break;
                if (grant.Outcome != TTokenOutcome::Granted)
                    throw EMailError(grant.Error);
                FSession.Server.AccessToken = grant.AccessToken;
                refresh = grant.Refresh;
                // Providers may end a session whose token expired: the connection is made
                // anew with the next token before then.
                tokenDue = TClock::now() +
                           std::max<std::chrono::system_clock::duration>(
                               grant.Expires - std::chrono::system_clock::now(), ShortestToken);
            }
            try {
                FSession.Connect(ConnectTimeout);
                renew = false;
            } catch (const ETokenRefused&) {
                // A fresh token refused too: the sign-in is void.
                if (renew) {
                    AccessTokens().EndSignIn(refresh);
                    break;
                }
                renew = true;
                throw;
            }
            if (!FSession.CanIdle())
                break;
            FSession.Select(true);
            FSession.LimitReplies(static_cast<int>(FTimes.Answer.count()));
            if (!Watch(reconnecting, idleSince, tokenDue))
                break;
            FSession.Logout(IMAPLogoutWait);
            // What comes between the two connections is told by the next one.
            reconnecting = true;
            continue;
        } catch (const std::exception& error) {
            cause = error.what();
        } catch (...) {
            cause = "Unknown error.";
        }
        FIdling = false;
        if (FStopping)
            break;
        // A refusal (NO, BAD) leaves the connection open.
        if (FSession.Connected())
            FSession.Logout(IMAPLogoutWait);
        // Only a connection that held for a while starts the pauses afresh: a server that
        // ends every one at once must not be asked again every second.
        if (idleSince != TClock::time_point() && TClock::now() - idleSince >= StableAfter) {
            failures = 0;
            reported = false;
            pause = FirstPause;
        }
        reconnecting = true;
        if (++failures >= ReportAfter && !reported && !FStopping) {
            reported = true;
            FOnTrouble(cause);
        }
        Pause(pause);
        pause = std::min<std::chrono::milliseconds>(pause * 2, MaxPause);
    }
    FIdling = false;
    if (FSession.Connected())
        FSession.Logout(IMAPLogoutWait);
    {
        std::lock_guard<std::mutex> lock(FLock);
        FEnded = true;
    }
    FWake.notify_all();
}

bool TIMAPWatcher::Watch(bool announce, TClock::time_point& idleSince,
                         TClock::time_point tokenDue) {
    while (!FStopping) {
        if (TClock::now() >= tokenDue)
            return true;
        FSession.StartIdle();
        FIdling = true;
        if (idleSince == TClock::time_point()) {
            idleSince = TClock::now();
            // What changed while the watcher was away went unannounced; the check follows
            // now that IDLE reports whatever comes after it.
            if (announce && !FStopping)
                FOnChange();
        }
        // Servers may end an IDLE after 30 minutes, and a connection dropped on the way says
        // nothing: the server's answer to DONE is what proves it alive.
        const auto renew = std::min<TClock::time_point>(TClock::now() + FTimes.Renew, tokenDue);
        unsigned events = ieNone;
        for (auto now = TClock::now(); !FStopping && events == ieNone && now < renew;
             now = TClock::now())
            events = FSession.WaitIdle(static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(renew - now).count()));
        FIdling = false;
        FSession.StopIdle();
        if (events != ieNone && !FStopping)
            FOnChange();
    }
    return false;
}
