// The sign-in servers the program knows, with their mail servers.
#pragma once

#include "core/MailProtocol.h"

#include <string>
#include <vector>

struct TOAuthProvider {
    std::string Name;
    std::string AuthorizationEndpoint;
    std::string TokenEndpoint;
    std::string IMAPScope;
    std::string POP3Scope;
    std::string IMAPHost;
    int IMAPPort = 993; // TLS from the start
    std::string POP3Host;
    int POP3Port = 995;

    const std::string& Scope(TMailProtocol protocol) const {
        return protocol == TMailProtocol::IMAP ? IMAPScope : POP3Scope;
    }
};

const std::vector<TOAuthProvider>& OAuthProviders();
// The provider named name; nullptr when there is none.
const TOAuthProvider* FindOAuthProvider(const std::string& name);
