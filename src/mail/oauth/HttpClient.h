// One HTTP/1.1 request to a sign-in server over the mail layer's connection, TLS for https.
#pragma once

#include "HttpUrl.h"
#include "net/NameLookup.h"

#include <cstddef>
#include <string>

struct THttpOptions {
    int TimeoutMs = 30000; // for the connect, and for each wait for the answer
    size_t MaxBody = 64 * 1024;
    std::string CAFile; // extra trusted certificates (PEM), beside the system's
    TResolver Resolver; // name lookup; getaddrinfo when empty
};

struct THttpResponse {
    int Status = 0;
    std::string Body;
};

// Sends method to url with body (of contentType, none when empty) on a connection of its own
// and reads the answer: its length given, chunked, or up to the end of the connection.
// Redirects are answers like any other, not followed. Throws EOAuthError with a short text.
THttpResponse HttpExchange(const std::string& method, const THttpUrl& url,
                           const std::string& contentType, const std::string& body,
                           const THttpOptions& options);
