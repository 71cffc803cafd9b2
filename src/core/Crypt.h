// Password encoding for the settings file: Blowfish chained under a built-in key, then Base64.
#pragma once

#include <stdexcept>
#include <string>

// Raised for stored text that cannot be decoded.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Clear password to the text stored under "POPPass".
std::string EncodePassword(const std::string& clear);
// Stored text back to the clear password, trimmed of blanks and control characters.
// Throws EConvertError when the text is not Base64 of a fitting length.
std::string DecodePassword(const std::string& stored);

std::string Base64Encode(const std::string& bytes);
// Throws EConvertError("Base64: Incorrect string format") when the length is not a
// multiple of 4. Characters outside the alphabet are read as 63, not rejected.
std::string Base64Decode(const std::string& text);
