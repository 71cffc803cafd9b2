// The initial responses of the XOAUTH2 and OAUTHBEARER mechanisms, and their error challenge.
#pragma once

#include "core/ServerEndpoint.h"

#include <string>

// base64 of "user=<user>^Aauth=Bearer <token>^A^A".
std::string XOAuth2Response(const std::string& user, const std::string& accessToken);
// base64 of "n,a=<user>,^Ahost=<host>^Aport=<port>^Aauth=Bearer <token>^A^A"; "," and "=" in
// user are written as "=2C" and "=3D".
std::string OAuthBearerResponse(const std::string& user, const std::string& host, int port,
                                const std::string& accessToken);
// The initial response that signs in to server with its access token (OAUTHBEARER when bearer,
// else XOAUTH2); throws EMailError, before anything is sent, when there is no token or it
// cannot be framed.
std::string TokenLoginResponse(const TServerEndpoint& server, bool bearer);
// What the base64 JSON challenge of a refused token says, as a short text for the user
// (status and scope, when present); a general text for anything unreadable.
std::string OAuthChallengeText(const std::string& challenge);
// What a client sends after an error challenge to end the exchange: "AQ==" (one ^A).
std::string OAuthChallengeAbort();
