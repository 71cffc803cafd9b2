// TFakeTokenLogin: the server's half of an OAuth2 SASL exchange, for the scripted servers. It
// takes a token that starts with GoodToken and refuses any other with the error challenge.
#pragma once

#include "core/Base64.h"

#include <mutex>
#include <optional>
#include <string>

class TFakeTokenLogin {
  public:
    static constexpr const char* GoodToken = "good-token";
    static constexpr const char* ErrorJSON =
        "{\"status\":\"invalid_token\",\"schemes\":\"bearer\",\"scope\":\"mail\"}";

    // The answer to the client's response to the mechanism, base64: ok for a good token, else
    // the error challenge, after which the next line gets refused.
    std::string Judge(const std::string& response, const std::string& ok,
                      const std::string& refused) {
        std::lock_guard<std::mutex> lock(FLock);
        const std::optional<std::string> text = Base64DecodeStrict(response);
        if (text && text->find(std::string("auth=Bearer ") + GoodToken) != std::string::npos &&
            text->size() > 2 && text->compare(text->size() - 2, 2, "\x01\x01") == 0)
            return ok;
        FRefusal = refused;
        return "+ " + Base64Encode(ErrorJSON) + "\r\n";
    }

    // The refusal due after the error challenge, once; nothing when none is due.
    std::optional<std::string> TakeRefusal() {
        std::lock_guard<std::mutex> lock(FLock);
        std::optional<std::string> refusal = FRefusal;
        FRefusal.reset();
        return refusal;
    }

    // The mechanism was named without a response: the next line carries it.
    void AwaitResponse(const std::string& tag) {
        std::lock_guard<std::mutex> lock(FLock);
        FAwaiting = tag;
    }
    std::optional<std::string> TakeAwaited() {
        std::lock_guard<std::mutex> lock(FLock);
        std::optional<std::string> tag = FAwaiting;
        FAwaiting.reset();
        return tag;
    }

  private:
    std::mutex FLock;
    std::optional<std::string> FRefusal;
    std::optional<std::string> FAwaiting;
};
