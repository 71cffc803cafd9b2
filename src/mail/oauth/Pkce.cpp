// Proof keys for the code exchange, and the random state of a sign-in.
#include "Pkce.h"

#include "OAuthError.h"
#include "core/Base64.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

namespace {

// Base64url of count random bytes: only unreserved characters.
std::string RandomText(int count) {
    std::string bytes(static_cast<size_t>(count), '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), count) != 1)
        throw EOAuthError("No random numbers are available for the sign-in.");
    return Base64UrlEncode(bytes);
}

} // namespace

TPkce MakePkce() {
    TPkce pkce;
    pkce.Verifier = RandomText(32);
    pkce.Challenge = PkceChallenge(pkce.Verifier);
    return pkce;
}

std::string PkceChallenge(const std::string& verifier) {
    std::string digest(SHA256_DIGEST_LENGTH, '\0');
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(),
           reinterpret_cast<unsigned char*>(digest.data()));
    return Base64UrlEncode(digest);
}

std::string MakeState() {
    return RandomText(16);
}
