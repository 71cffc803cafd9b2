// The access tokens of the program's OAuth2 sign-ins, in memory only: the worker and the push
// connections of an account share one, refreshed at need, and a sign-in the provider voided
// is not tried again until the account gets another refresh token.
#pragma once

#include "TokenClient.h"
#include "core/ServerEndpoint.h"

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>

// Shown on the account when its sign-in must be done again in the account dialog.
const char* const SignInExpiredText = "Sign-in expired: sign in again";

struct TAccessGrant {
    TTokenOutcome Outcome = TTokenOutcome::Failed;
    std::string AccessToken; // when Granted
    // When Granted: when the token is due to be replaced (its lifetime less a margin).
    std::chrono::system_clock::time_point Expires;
    // The refresh token in force: another one than asked with when the provider replaced it.
    std::string Refresh;
    std::string Error; // when not Granted; never holds a token
};

class TAccessTokens {
  public:
    // A token valid beyond now for the sign-in of refresh; refreshed at the token endpoint
    // when none is held, the held one expires, or renew (the server refused the held one).
    TAccessGrant Obtain(const TOAuthClient& client, const std::string& refresh, bool renew,
                        std::chrono::system_clock::time_point now);
    // A sign-in just made: its access token serves the first checks without a refresh.
    void Hold(const std::string& refresh, const std::string& accessToken,
              std::chrono::system_clock::time_point expires);
    // The server refused a freshly refreshed token: the sign-in is over.
    void EndSignIn(const std::string& refresh);
    // True the first time it is asked after the sign-in of refresh ended: its error is shown
    // once, not at every check.
    bool FirstNotice(const std::string& refresh);

  private:
    struct THeld {
        std::string AccessToken;
        std::chrono::system_clock::time_point Expires;
    };
    // Held across a refresh, so that one sign-in refreshes once.
    std::mutex FLock;
    std::map<std::string, THeld> FHeld;             // by refresh token
    std::map<std::string, std::string> FReplacedBy; // an old refresh token's successor
    std::set<std::string> FEnded;                   // refresh tokens voided
    std::set<std::string> FReported;                // ended ones told once

    std::string Current(std::string refresh) const;
};

// The program's.
TAccessTokens& AccessTokens();

// The refresh token and client of server's account, its secrets read from the keyring when
// the account keeps them there; false with error when they could not be read.
bool SignInOf(const TServerEndpoint& server, TOAuthClient& client, std::string& refresh,
              std::string& error);
// AccessTokens().Obtain for server's account, as a job or a push connection asks it.
TAccessGrant ObtainAccessToken(const TServerEndpoint& server, bool renew);
