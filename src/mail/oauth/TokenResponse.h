// What a token endpoint answered: the tokens, or why there are none.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Time before the server's expiry at which an access token counts as expired, so that a
// token is never sent in its last seconds.
constexpr std::chrono::seconds ExpiryMargin{60};
// The lifetime assumed when the answer states none.
constexpr std::chrono::seconds DefaultLifetime{3600};

struct TTokens {
    std::string AccessToken;
    std::string RefreshToken;
    std::string Scope;
    std::string Account; // who signed in, when an id_token says; "" otherwise
    std::chrono::system_clock::time_point Expires; // with ExpiryMargin taken off
};

enum class TTokenOutcome {
    Granted,
    SignInExpired, // the grant is void (revoked, password changed): the user signs in anew
    Failed,
};

struct TTokenResult {
    TTokenOutcome Outcome = TTokenOutcome::Failed;
    TTokens Tokens;    // when Granted
    std::string Error; // when not Granted: a short text for the user, without any token
};

// The answer with HTTP status and body, received at now. An answer without a refresh token
// keeps refreshToken, the one the request was made with (empty for a code exchange).
TTokenResult ReadTokenResponse(int status, std::string_view body, const std::string& refreshToken,
                               std::chrono::system_clock::time_point now);
