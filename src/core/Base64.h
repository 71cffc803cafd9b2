// Base64: the encoder and the one decoder, with the rules of each kind of text it reads.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised for stored text that cannot be decoded.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string Base64Encode(const std::string& bytes);
// The URL- and file-name-safe alphabet ("-" and "_" for "+" and "/"), without padding.
std::string Base64UrlEncode(const std::string& bytes);

// One line of a body (without its line end): groups of four from the first non-blank up to
// the end or a blank. Characters outside the alphabet are skipped; a short last group gives
// what it holds. Returns the number of bytes written to out, which may be the line itself or
// lie before it in the same buffer: it never runs ahead of the input, nor reads beyond len.
size_t DecodeBase64Line(const char* line, size_t len, char* out);
inline size_t DecodeBase64Line(char* line, size_t len) {
    return DecodeBase64Line(line, len, line);
}

// Text without line structure: alphabet characters, then nothing but "=" (which may be
// missing). nullopt for anything else.
std::optional<std::string> Base64DecodeStrict(std::string_view text);

// Throws EConvertError("Base64: Incorrect string format") when the length is not a
// multiple of 4. Characters outside the alphabet are read as 63, not rejected; padding
// counts only in the last group.
std::string Base64Decode(const std::string& text);
