// The keyring names of an account's OAuth2 secrets.
#include "core/OAuthConfig.h"

// The password has the bare account name; a suffix keeps the three apart.
std::string RefreshTokenVaultName(const std::string& accountName) {
    return accountName + "/oauth-refresh";
}

std::string ClientSecretVaultName(const std::string& accountName) {
    return accountName + "/oauth-client-secret";
}
