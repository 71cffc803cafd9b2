// MD5 digest of bytes as 32 lower-case hexadecimal digits.
#include "MD5Hex.h"

#include <openssl/md5.h>

std::string MD5Hex(const std::string& bytes) {
    unsigned char digest[MD5_DIGEST_LENGTH];
    // Not the one-shot MD5(): it fetches the algorithm from a provider on every call, and
    // its first call loads OpenSSL's provider machinery (2 MB resident) into a program that
    // may never use TLS.
    MD5_CTX context;
    MD5_Init(&context);
    MD5_Update(&context, bytes.data(), bytes.size());
    MD5_Final(digest, &context);
    static const char hexDigits[] = "0123456789abcdef";
    std::string result;
    result.reserve(2 * MD5_DIGEST_LENGTH);
    for (unsigned char byte : digest) {
        result += hexDigits[byte >> 4];
        result += hexDigits[byte & 0x0F];
    }
    return result;
}

std::string LowerHex(std::string key) {
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}
