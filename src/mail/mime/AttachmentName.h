// Attachment file names as the sender gave them, reduced to the one safe name that the
// list, the prompt, the remembered action and the written file all use.
#pragma once

#include <string>

// A bare file name from a decoded (UTF-8) name: no directory parts, no control or
// direction characters, no leading dots or blanks, at most 255 bytes cut on a character
// boundary with the last extension kept; "attachment" when nothing is left.
std::string SafeFileName(const std::string& name);
// The lower-case last extension of a name with its dot (".pdf" for "a.Tar.PDF" and for
// ".PDF"); empty when the name has none.
std::string AttachmentExtension(const std::string& name);
// A safe name numbered before its last extension ("name (2).ext"), still at most 255
// bytes.
std::string NumberedFileName(const std::string& safeName, int number);
