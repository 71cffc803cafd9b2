// The authorization request the browser opens, and the redirect that brings its answer back.
#pragma once

#include <string>

struct TAuthorizationRequest {
    std::string Endpoint; // may hold a query of its own
    std::string ClientId;
    std::string RedirectUri;
    std::string Scope;
    std::string State;
    std::string CodeChallenge; // S256
    std::string LoginHint;     // sent when not empty
};

// The redirect URI of a listener on port of the loopback address.
std::string LoopbackRedirectUri(int port);
// The endpoint with the request's parameters, each percent-encoded.
std::string AuthorizationUrl(const TAuthorizationRequest& request);

enum class TRedirectOutcome {
    Code,    // Code holds the authorization code
    Denied,  // the server answered with an error (the user declined, or a bad request)
    Invalid, // not the answer to this request (wrong or missing state, not a redirect)
};

struct TRedirect {
    TRedirectOutcome Outcome = TRedirectOutcome::Invalid;
    std::string Code;
    std::string Error; // a short text for the user when not Code
};

// The request line the loopback listener received ("GET /?code=..&state=.. HTTP/1.1"),
// checked against the state that was sent.
TRedirect ParseRedirect(const std::string& requestLine, const std::string& expectedState);
