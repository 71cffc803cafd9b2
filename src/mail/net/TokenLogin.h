// What the POP3 and IMAP sessions share of a login with an OAuth2 access token.
#pragma once

#include "MailError.h"
#include "core/ServerEndpoint.h"

#include <string>

// Throws EMailError, naming neither, when the access token or the user name cannot go into a
// login: an empty token, or a control character that would end a field early.
void CheckTokenLogin(const TServerEndpoint& server);

// The refusal of a token: challengeText, what the server's error challenge said, or when it
// sent none, the text of its final refusal.
ETokenRefused TokenRefusal(const std::string& challengeText, const std::string& finalText);
