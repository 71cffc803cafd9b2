// The failures of sign-in: the server's answer or the way to it.
#pragma once

#include <stdexcept>

// Its text is short and never holds a token, a code or a secret.
class EOAuthError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
