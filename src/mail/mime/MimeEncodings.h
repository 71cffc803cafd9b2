// Line decoders for base64, quoted-printable and uuencode, working in place.
#pragma once

#include <cstddef>

// Each decodes one line (without its line end) and returns the number of bytes
// produced; nothing beyond len is read. The output goes to out, which may be the
// line itself or lie before it in the same buffer: it never runs ahead of the input.

// Groups of four from the first non-blank up to the end or a blank. Characters
// outside the alphabet are skipped; a short last group gives what it holds.
size_t DecodeBase64Line(const char* line, size_t len, char* out);
inline size_t DecodeBase64Line(char* line, size_t len) {
    return DecodeBase64Line(line, len, line);
}

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
