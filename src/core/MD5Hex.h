// MD5 digest of bytes as 32 lower-case hexadecimal digits.
#pragma once

#include <string>

std::string MD5Hex(const std::string& bytes);
// A key in lower case: keys read back from elsewhere may be written in upper case.
std::string LowerHex(std::string key);
