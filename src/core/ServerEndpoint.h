// TServerEndpoint: the mail server of an account and the login to it, as a job or a
// connection takes it from the account's settings.
#pragma once

#include "core/MailProtocol.h"
#include "core/OAuthConfig.h"
#include "core/TLSMode.h"

#include <string>

struct TAccountConfig;

struct TServerEndpoint {
    TMailProtocol Protocol = TMailProtocol::POP3;
    std::string Host;
    int Port = 110;
    std::string User;
    std::string Pass; // clear text; empty while KeyringKey names it
    // Not empty: Pass is read from the system keyring under this name at each connection.
    std::string KeyringKey;
    TAuthKind Auth = TAuthKind::Password;
    // OAuth2: sent in place of Pass; held in memory only, never stored or shown.
    std::string AccessToken;
    // OAuth2: the client and refresh token that get it (secrets empty while KeyringKey names
    // them).
    TOAuthConfig OAuth;
    bool APOP = false; // POP3 only
    TTLSMode TLS = TTLSMode::None;
    bool TLSVerify = true;
    bool operator==(const TServerEndpoint&) const = default;
};

// The server of account, the one place where a job or a connection learns it.
TServerEndpoint EndpointOf(const TAccountConfig& account);
