// How an account signs in: with its password or with OAuth2, and the OAuth2 client settings.
#pragma once

#include <string>

// The settings file keeps these as the words "Password" and "OAuth2" under "Auth".
enum class TAuthKind { Password, OAuth2 };

// Who issues the tokens; the settings file keeps the word under "OAuthProvider".
enum class TOAuthIssuer { Google, Microsoft, Other };

struct TOAuthConfig {
    TOAuthIssuer Provider = TOAuthIssuer::Other;
    std::string AuthURL;
    std::string TokenURL;
    std::string ClientID;
    std::string Scope;
    // Secrets: encoded in the settings file, or kept in the keyring with the password.
    std::string ClientSecret;
    std::string Refresh; // the refresh token
    bool operator==(const TOAuthConfig&) const = default;
};

// The keyring names of an account's refresh token and client secret, beside its password.
std::string RefreshTokenVaultName(const std::string& accountName);
std::string ClientSecretVaultName(const std::string& accountName);
