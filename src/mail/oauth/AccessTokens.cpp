// The program's access tokens, by the refresh token that gets them.
#include "AccessTokens.h"

#include "core/PasswordVault.h"

std::string TAccessTokens::Current(std::string refresh) const {
    // Followed until the newest: the settings may still hold an old one.
    for (auto next = FReplacedBy.find(refresh); next != FReplacedBy.end();
         next = FReplacedBy.find(refresh))
        refresh = next->second;
    return refresh;
}

TAccessGrant TAccessTokens::Obtain(const TOAuthClient& client, const std::string& refresh,
                                   bool renew, std::chrono::system_clock::time_point now) {
    std::lock_guard<std::mutex> lock(FLock);
    TAccessGrant grant;
    grant.Refresh = Current(refresh);
    if (grant.Refresh.empty()) {
        grant.Error = "The account has no refresh token: sign in in its settings.";
        return grant;
    }
    if (FEnded.count(grant.Refresh) != 0) {
        grant.Outcome = TTokenOutcome::SignInExpired;
        grant.Error = SignInExpiredText;
        return grant;
    }
    const auto held = FHeld.find(grant.Refresh);
    if (!renew && held != FHeld.end() && held->second.Expires > now) {
        grant.Outcome = TTokenOutcome::Granted;
        grant.AccessToken = held->second.AccessToken;
        grant.Expires = held->second.Expires;
        return grant;
    }
    const TTokenResult result = RefreshTokens(client, grant.Refresh);
    grant.Outcome = result.Outcome;
    if (result.Outcome == TTokenOutcome::SignInExpired) {
        FHeld.erase(grant.Refresh);
        FEnded.insert(grant.Refresh);
        grant.Error = SignInExpiredText;
        return grant;
    }
    if (result.Outcome != TTokenOutcome::Granted) {
        grant.Error = result.Error;
        return grant;
    }
    const std::string& next = result.Tokens.RefreshToken;
    if (!next.empty() && next != grant.Refresh) {
        FHeld.erase(grant.Refresh);
        FReplacedBy[grant.Refresh] = next;
        grant.Refresh = next;
    }
    FHeld[grant.Refresh] = {result.Tokens.AccessToken, result.Tokens.Expires};
    grant.AccessToken = result.Tokens.AccessToken;
    grant.Expires = result.Tokens.Expires;
    return grant;
}

void TAccessTokens::Hold(const std::string& refresh, const std::string& accessToken,
                         std::chrono::system_clock::time_point expires) {
    std::lock_guard<std::mutex> lock(FLock);
    FHeld[refresh] = {accessToken, expires};
}

void TAccessTokens::EndSignIn(const std::string& refresh) {
    std::lock_guard<std::mutex> lock(FLock);
    const std::string current = Current(refresh);
    FHeld.erase(current);
    FEnded.insert(current);
}

bool TAccessTokens::FirstNotice(const std::string& refresh) {
    std::lock_guard<std::mutex> lock(FLock);
    return FReported.insert(Current(refresh)).second;
}

TAccessTokens& AccessTokens() {
    static TAccessTokens tokens;
    return tokens;
}

bool SignInOf(const TServerEndpoint& server, TOAuthClient& client, std::string& refresh,
              std::string& error) {
    client.TokenEndpoint = server.OAuth.TokenURL;
    client.ClientId = server.OAuth.ClientID;
    client.ClientSecret = server.OAuth.ClientSecret;
    refresh = server.OAuth.Refresh;
    if (server.KeyringKey.empty())
        return true;
    const TVaultRead token = VaultPassword(RefreshTokenVaultName(server.KeyringKey));
    if (!token.Error.empty()) {
        error = token.Error;
        return false;
    }
    refresh = token.Password;
    // A client without a secret keeps none in the keyring.
    const TVaultRead secret = VaultPassword(ClientSecretVaultName(server.KeyringKey));
    client.ClientSecret = secret.Error.empty() ? secret.Password : std::string();
    return true;
}

TAccessGrant ObtainAccessToken(const TServerEndpoint& server, bool renew) {
    TOAuthClient client;
    std::string refresh;
    TAccessGrant grant;
    if (!SignInOf(server, client, refresh, grant.Error))
        return grant;
    return AccessTokens().Obtain(client, refresh, renew, std::chrono::system_clock::now());
}
