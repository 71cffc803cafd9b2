// Line decoders for quoted-printable and uuencode, working in place; base64's is in core.
#pragma once

#include "core/Base64.h"

#include <cstddef>

// Each decodes one line (without its line end) and returns the number of bytes
// produced; nothing beyond len is read. The output goes to out, which may be the
// line itself or lie before it in the same buffer: it never runs ahead of the input.

// "=XY" gives a byte; "=" at the end (or followed only by blanks) is a soft
// break; "=X" at the end gives X's value; "=" not followed by hex digits stays as it is.
size_t DecodeQuotedPrintableLine(const char* line, size_t len, char* out, bool& softBreak);
inline size_t DecodeQuotedPrintableLine(char* line, size_t len, bool& softBreak) {
    return DecodeQuotedPrintableLine(line, len, line, softBreak);
}

// As DecodeQuotedPrintableLine for the line that starts at text and ends at the first LF,
// which must lie within size bytes; its line end (LF or CR LF) is not decoded. lineEnd
// gets the offset of that LF.
size_t DecodeQuotedPrintableToLineEnd(const char* text, size_t size, char* out, size_t& lineEnd,
                                      bool& softBreak);

// The first character gives the byte count; at most what the line holds is produced.
size_t DecodeUULine(char* line, size_t len);
