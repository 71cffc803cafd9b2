// Pieces of IMAP commands: UID sets, strings as arguments, the SASL PLAIN response.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The uids as sets of at most batchSize uids each, sorted and with runs as ranges ("1:4,7").
std::vector<std::string> IMAPUIDSets(std::vector<uint32_t> uids, size_t batchSize);

// text as a quoted string; false when it cannot be one (CR, LF, NUL or 8-bit bytes) and needs
// a literal.
bool IMAPQuoted(const std::string& text, std::string& quoted);

// Base64 of the SASL PLAIN message: no authorization id, user and password.
std::string SASLPlainResponse(const std::string& user, const std::string& password);
