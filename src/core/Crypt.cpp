// Password encoding: SHA-1 derived Blowfish key, chained cipher with a short tail, Base64.
#include "Crypt.h"

#include "Global.h"

#include <openssl/blowfish.h>
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <array>
#include <cstring>

namespace {

constexpr char PassPhrase[] = "SilverHeron_19071998_LanternMoss!!";
constexpr size_t ScratchSize = 1025;

using TBlock = std::array<unsigned char, BF_BLOCK>;

// One keyed cipher with its chaining value; every trace of the key is wiped on destruction.
class TPasswordCipher {
  public:
    TPasswordCipher() {
        unsigned char digest[SHA_DIGEST_LENGTH];
        // Not the one-shot SHA1(), which loads OpenSSL's provider machinery (MD5Hex.cpp).
        SHA_CTX context;
        SHA1_Init(&context);
        SHA1_Update(&context, PassPhrase, sizeof(PassPhrase) - 1);
        SHA1_Final(digest, &context);
        OPENSSL_cleanse(&context, sizeof(context));
        BF_set_key(&FKey, SHA_DIGEST_LENGTH, digest);
        OPENSSL_cleanse(digest, sizeof(digest));
        FChain.fill(0xFF);
        Encrypt(FChain.data(), FChain.data());
    }
    ~TPasswordCipher() {
        OPENSSL_cleanse(&FKey, sizeof(FKey));
        OPENSSL_cleanse(FChain.data(), FChain.size());
    }
    TPasswordCipher(const TPasswordCipher&) = delete;
    TPasswordCipher& operator=(const TPasswordCipher&) = delete;

    void EncryptChained(const unsigned char* in, unsigned char* out, size_t n) {
        size_t at = 0;
        for (; at + BF_BLOCK <= n; at += BF_BLOCK) {
            for (size_t i = 0; i < BF_BLOCK; ++i)
                FChain[i] ^= in[at + i];
            Encrypt(FChain.data(), FChain.data());
            std::memcpy(out + at, FChain.data(), BF_BLOCK);
        }
        Tail(in, out, at, n);
    }

    void DecryptChained(const unsigned char* in, unsigned char* out, size_t n) {
        size_t at = 0;
        TBlock plain;
        for (; at + BF_BLOCK <= n; at += BF_BLOCK) {
            BF_ecb_encrypt(in + at, plain.data(), &FKey, BF_DECRYPT);
            for (size_t i = 0; i < BF_BLOCK; ++i)
                plain[i] ^= FChain[i];
            std::memcpy(FChain.data(), in + at, BF_BLOCK);
            std::memcpy(out + at, plain.data(), BF_BLOCK);
        }
        OPENSSL_cleanse(plain.data(), plain.size());
        Tail(in, out, at, n);
    }

  private:
    void Encrypt(const unsigned char* in, unsigned char* out) {
        BF_ecb_encrypt(in, out, &FKey, BF_ENCRYPT);
    }

    // A short last block is XORed with the encrypted chaining value, both ways alike.
    void Tail(const unsigned char* in, unsigned char* out, size_t at, size_t n) {
        if (at == n)
            return;
        TBlock pad;
        Encrypt(FChain.data(), pad.data());
        for (size_t i = 0; at + i < n; ++i)
            out[at + i] = in[at + i] ^ pad[i];
        OPENSSL_cleanse(pad.data(), pad.size());
    }

    BF_KEY FKey;
    TBlock FChain;
};

// Zeroed at the start of every call and wiped before it is released.
struct TScratch {
    std::array<unsigned char, ScratchSize> Bytes{};
    ~TScratch() { OPENSSL_cleanse(Bytes.data(), Bytes.size()); }
};

} // namespace

std::string EncodePassword(const std::string& clear) {
    TScratch scratch;
    // Longer text than the scratch buffer holds is never a valid password.
    const size_t n = std::min(clear.size(), ScratchSize);
    TPasswordCipher cipher;
    cipher.EncryptChained(reinterpret_cast<const unsigned char*>(clear.data()),
                          scratch.Bytes.data(), n);
    return Base64Encode(std::string(reinterpret_cast<const char*>(scratch.Bytes.data()), n));
}

std::string DecodePassword(const std::string& stored) {
    std::string bytes = Base64Decode(stored);
    if (bytes.size() > ScratchSize) {
        OPENSSL_cleanse(bytes.data(), bytes.size());
        throw EConvertError("Stored password is too long");
    }
    TScratch scratch;
    TPasswordCipher cipher;
    cipher.DecryptChained(reinterpret_cast<const unsigned char*>(bytes.data()),
                          scratch.Bytes.data(), bytes.size());
    OPENSSL_cleanse(bytes.data(), bytes.size());
    const auto* begin = reinterpret_cast<const char*>(scratch.Bytes.data());
    return TrimControl(std::string(begin, strnlen(begin, ScratchSize)));
}
