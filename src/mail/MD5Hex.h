// MD5 digest of bytes as 32 lower-case hexadecimal digits.
#pragma once

#include <string>

std::string MD5Hex(const std::string& bytes);
