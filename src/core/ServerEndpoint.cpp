// The server of an account, as jobs and connections take it.
#include "core/ServerEndpoint.h"

#include "core/Options.h"

TServerEndpoint EndpointOf(const TAccountConfig& account) {
    TServerEndpoint server;
    server.Protocol = account.Protocol;
    server.Host = account.Host;
    server.Port = account.Port;
    server.User = account.User;
    server.Pass = account.Pass;
    // The account's name is its key in the keyring.
    if (account.Keyring)
        server.KeyringKey = account.AccountName;
    server.Auth = account.Auth;
    if (account.Auth == TAuthKind::OAuth2)
        server.OAuth = account.OAuth;
    server.APOP = account.Secure;
    server.TLS = account.TLS;
    server.TLSVerify = account.TLSVerify;
    return server;
}
