// Proof keys for the code exchange, and the random state of a sign-in.
#pragma once

#include <string>

struct TPkce {
    std::string Verifier;  // kept by the program for the token request
    std::string Challenge; // sent with the authorization request
};

// A fresh verifier of 43 characters from 32 random bytes and its S256 challenge. Throws
// EOAuthError when no random bytes can be had.
TPkce MakePkce();
// The S256 challenge of verifier: its SHA-256 digest as base64url without padding.
std::string PkceChallenge(const std::string& verifier);
// A fresh random value for the "state" of an authorization request.
std::string MakeState();
