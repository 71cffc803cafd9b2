// The SASL exchanges that carry an OAuth2 access token, shared by the POP3 and IMAP sessions:
// what the client sends, and what it makes of the server's refusal.
#pragma once

#include "MailError.h"
#include "core/ServerEndpoint.h"

#include <string>

enum class TTokenMechanism { OAuthBearer, XOAuth2 };

// The mechanism's name on the wire.
const char* TokenMechanismName(TTokenMechanism mechanism);

// The client's first response, base64. Throws EMailError, naming neither, when the token or
// the user cannot be framed (empty, or holding control characters).
std::string TokenResponse(TTokenMechanism mechanism, const TServerEndpoint& server);

// The client's answer to an error challenge, which lets the server send its final refusal.
std::string TokenChallengeAnswer(TTokenMechanism mechanism);

// The server's refusal of the token: its "status" from the error challenge (base64 JSON) and
// the text of its final refusal.
ETokenRefused TokenRefusal(const std::string& challenge, const std::string& finalText);
