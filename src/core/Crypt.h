// Password encoding for the settings file: Blowfish chained under a built-in key, then Base64.
#pragma once

#include "Base64.h"

#include <string>

// Clear password to the text stored under "POPPass".
std::string EncodePassword(const std::string& clear);
// Stored text back to the clear password, trimmed of blanks and control characters.
// Throws EConvertError when the text is not Base64 of a fitting length.
std::string DecodePassword(const std::string& stored);
