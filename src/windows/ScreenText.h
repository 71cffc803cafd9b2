// Message bytes as screen text: the part's charset when known, else UTF-8 or Windows-1252.
#pragma once

#include <QString>

#include <string>

// Converts bytes for display. With a charset that iconv knows, through it; otherwise
// as UTF-8 when the bytes are valid UTF-8, else as Windows-1252.
QString ScreenText(const std::string& bytes, const std::string& charset = "");
