// TMimeDecode: line reading with header folding, the five line handlers and the part events.
#include "mime/MimeDec.h"

#include "mime/MimeEncodings.h"
#include "mime/MimeTokens.h"
#include "mime/TextChars.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace {

// Large enough that a file is read in few calls, small enough to stay in cache.
constexpr size_t InitialBufferSize = 16384;
constexpr size_t MaxInlineNameLength = 255;
constexpr std::string_view InlineBegin = "begin 666"; // first line of an inline uuencoded block

void LowerInPlace(std::string& text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// ASCII case only, whatever the locale; prefix is in lower case.
bool StartsWithNoCase(const char* data, size_t len, std::string_view prefix) {
    if (len < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (AsciiLower(data[i]) != prefix[i])
            return false;
    return true;
}

// Lines of a "-- cut here --" marker are never begin or end lines.
bool IsCutHere(std::string_view line) {
    return line.find("--") != std::string_view::npos &&
           line.find("cut here") != std::string_view::npos;
}

// The text after the second blank, without a line end, at most 255 characters.
std::string NameAfterSecondBlank(std::string_view line) {
    size_t blank = line.find(' ');
    if (blank != std::string_view::npos)
        blank = line.find(' ', blank + 1);
    if (blank == std::string_view::npos)
        return {};
    std::string_view name = line.substr(blank + 1);
    while (!name.empty() && (name.back() == '\r' || name.back() == '\n'))
        name.remove_suffix(1);
    return std::string(name.substr(0, MaxInlineNameLength));
}

} // namespace

int PriorityOfValue(std::string_view value) {
    std::string text(value);
    LowerInPlace(text);
    if (text.find("urgent") != std::string::npos)
        return 1;
    if (text.find("non-priority") != std::string::npos)
        return 5;
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= ' ')
        ++start;
    size_t end = start;
    while (end < text.size() && text[end] != ' ' && static_cast<unsigned char>(text[end]) > ' ')
        ++end;
    std::string_view word(text.data() + start, end - start);
    bool negative = false;
    if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
        negative = word[0] == '-';
        word.remove_prefix(1);
    }
    if (word.empty())
        return 3;
    long long n = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return 3;
        n = n * 10 + (c - '0');
        if (n > INT_MAX)
            return 3;
    }
    return static_cast<int>(negative ? -n : n);
}

TMimeDecode::TMimeDecode() = default;

void TMimeDecode::Reset() {
    for (std::string* value :
         {&From, &To, &Cc, &Subject, &Date, &MimeVersion, &ReturnPath, &ContentType, &Encoding,
          &Disposition, &Charset, &HeaderName, &FileName, &Boundary})
        value->clear();
    Priority = 0;
    IsMultipart = EndOfMime = false;
    HeaderLines.clear();
    ClearPartValues();
    PartNumber = 0;

    FBuffer.assign(InitialBufferSize, '\0');
    FStart = FScan = FEnd = 0;
    FFolded = false;
    FLastLineEnd = NoLineEnd;
    FEof = false;
    FPosition = 0;
    FCurrent = {};
    FHandler = THandler::MainHeader;
    FCoding = TCoding::Identity;
    FHeaderMode = true;
    FLineCount = 0;
    FPartOpen = FPartHeaderBegun = FUUOpen = FInlineOpen = false;
    FInlineName.clear();
    FNested.clear();
}

void TMimeDecode::Notify(const TNotifyEvent& event) {
    if (event)
        event(*this);
}

// Makes room when the buffer is full, then reads into its free space.
bool TMimeDecode::Fill(TStream& stream) {
    if (FEnd == FBuffer.size()) {
        const size_t size = FBuffer.size();
        if (FStart > size / 4 * 3) {
            std::memmove(FBuffer.data(), FBuffer.data() + FStart, FEnd - FStart);
        } else {
            // Growing by half keeps a huge line linear in time; only the
            // unprocessed tail moves into the new buffer.
            std::vector<char> grown(size + std::max<size_t>(32, size / 2));
            std::memcpy(grown.data(), FBuffer.data() + FStart, FEnd - FStart);
            FBuffer.swap(grown);
        }
        FScan -= FStart;
        FEnd -= FStart;
        FStart = 0;
    }
    FLastLineEnd = NoLineEnd;
    const size_t n = stream.Read(FBuffer.data() + FEnd, FBuffer.size() - FEnd);
    FEnd += n;
    FPosition += static_cast<int64_t>(n);
    if (n == 0)
        FEof = true;
    return n > 0;
}

void TMimeDecode::DecodeStream(TStream& stream) {
    Reset();
    for (;;) {
        char* base = FBuffer.data();
        const void* hit = FScan < FEnd ? std::memchr(base + FScan, '\n', FEnd - FScan) : nullptr;
        if (!hit) {
            if (FEof)
                break;
            FScan = FEnd;
            Fill(stream);
            continue;
        }
        const size_t lf = static_cast<const char*>(hit) - base;
        // Some stores end lines in CR CR LF: every CR before the LF belongs to the line end,
        // so a line of CRs alone is the blank line that ends a header.
        size_t end = lf;
        while (end > FStart && base[end - 1] == '\r')
            --end;
        const size_t len = end - FStart;
        if (FHeaderMode && len > 0) {
            if (lf + 1 == FEnd && !FEof) {
                // The next line's first byte decides about folding.
                FScan = lf;
                Fill(stream);
                continue;
            }
            if (lf + 1 < FEnd && (base[lf + 1] == ' ' || base[lf + 1] == '\t')) {
                // Unfolding takes out the line break only; the blank that begins the next
                // line stays, as a space. The break is marked here and squeezed out once the
                // line is whole.
                std::memset(base + end, FoldMark, lf + 1 - end);
                base[lf + 1] = ' ';
                FFolded = true;
                FScan = lf + 1;
                continue;
            }
        }
        if (!FHeaderMode && FPartOpen &&
            (FHandler == THandler::PartBody || FHandler == THandler::SingleBody) &&
            (FCoding == TCoding::Base64 || FCoding == TCoding::QuotedPrintable) && DecodeRun(lf))
            continue;
        char* line = base + FStart;
        const size_t room = lf + 1 - FStart;
        FStart = FScan = lf + 1;
        HandleLine(line, FFolded ? Unfold(line, len) : len, room);
    }
    if (FStart < FEnd) {
        const size_t len = FEnd - FStart;
        char* line = FBuffer.data() + FStart;
        FStart = FScan = FEnd;
        HandleLine(line, FFolded ? Unfold(line, len) : len, len);
    }
    if (Boundary.empty() || FPartOpen)
        PartEnd();
    Notify(OnMessageEnd);
}

size_t TMimeDecode::Unfold(char* line, size_t len) {
    FFolded = false;
    return static_cast<size_t>(std::remove(line, line + len, FoldMark) - line);
}

// The complete lines from FStart on, the first ending at lf, decoded one after the
// other into the buffer from FStart and handed out as one piece: a base64 or
// quoted-printable body needs no per-line work beyond its decoding. Stops before a line
// the line handlers must see; returns false when that is the first one.
bool TMimeDecode::DecodeRun(size_t lf) {
    char* base = FBuffer.data();
    const bool base64 = FCoding == TCoding::Base64;
    // Decoded text of an untyped part may hold an inline uuencoded block.
    const bool inlineText = !base64 && PartContentType.empty();
    if (inlineText && FInlineOpen)
        return false;
    // Every line up to the last LF in the buffer is complete. It is looked for once per
    // read: a run that stops early must not search the same unfinished line again.
    if (FLastLineEnd == NoLineEnd || FLastLineEnd < lf || base[FLastLineEnd] != '\n') {
        FLastLineEnd = FEnd - 1;
        while (base[FLastLineEnd] != '\n')
            --FLastLineEnd;
    }
    const size_t last = FLastLineEnd;
    const size_t first = FStart;
    size_t start = FStart, out = FStart;
    while (start <= last) {
        const char* line = base + start;
        // A boundary begins with "--"; a line holds at least its LF, so line[1] exists.
        if (line[0] == '-' && line[1] == '-')
            break;
        if (base64) {
            if (start != first)
                lf = static_cast<size_t>(
                    static_cast<const char*>(std::memchr(line, '\n', last + 1 - start)) - base);
            const size_t len = lf - start - (lf > start && base[lf - 1] == '\r' ? 1 : 0);
            out += DecodeBase64Line(line, len, base + out);
            start = lf + 1;
            continue;
        }
        // A decoded line begins "begin 666" only when its raw form does or has an escape
        // among its first bytes.
        const size_t size = last + 1 - start;
        if (inlineText && (line[0] == 'b' || line[0] == 'B' || line[0] == '=') &&
            (StartsWithNoCase(line, size, InlineBegin) ||
             std::memchr(line, '=', std::min(size, InlineBegin.size()))))
            break;
        size_t lineEnd = 0;
        bool softBreak = false;
        const size_t n = DecodeQuotedPrintableToLineEnd(line, size, base + out, lineEnd, softBreak);
        lf = start + lineEnd;
        if (!softBreak && out + n + 2 > lf + 1) {
            // CR LF would overwrite the next line: an LF-only line without escapes,
            // decoded onto itself and so unchanged, which the line handlers take.
            break;
        }
        out += n;
        if (!softBreak) {
            base[out++] = '\r';
            base[out++] = '\n';
        }
        start = lf + 1;
    }
    if (start == first)
        return false;
    FStart = FScan = start;
    if (out > first) {
        FCurrent = std::string_view(base + first, out - first);
        if (OnPartLine)
            OnPartLine(*this, base + first, out - first);
    }
    return true;
}

void TMimeDecode::HandleLine(char* line, size_t len, size_t room) {
    FCurrent = std::string_view(line, len);
    switch (FHandler) {
    case THandler::MainHeader:
        MainHeaderLine(line, len);
        break;
    case THandler::SingleBody:
        SingleBodyLine(line, len, room);
        break;
    case THandler::Preamble:
        PreambleLine(line, len);
        break;
    case THandler::PartHeader:
        PartHeaderLine(line, len, room);
        break;
    case THandler::PartBody:
        PartBodyLine(line, len, room);
        break;
    }
}

namespace {

// Reads "; name=value" pairs while a ";" ends the previous item; a parameter
// whose name is not followed directly by "=" ends the list.
template <typename TSetter> void ReadParameters(THeaderTokenizer& tokens, TSetter set) {
    while (tokens.Stop() == ';') {
        const std::string name = tokens.Token();
        if (tokens.Stop() != '=')
            break;
        set(name, tokens.QuotedValue());
    }
}

std::string BoundaryOf(std::string value) {
    LowerInPlace(value);
    return "--" + value;
}

} // namespace

void TMimeDecode::MainHeaderLine(char* line, size_t len) {
    if (len == 0) {
        FHeaderMode = false;
        Notify(OnHeaderEnd);
        FLineCount = 0;
        FUUOpen = FInlineOpen = false;
        if (!Boundary.empty()) {
            PartBegin();
            FHandler = THandler::Preamble;
        } else {
            EnterBody(THandler::SingleBody, Encoding);
        }
        return;
    }
    if (FLineCount++ == 0)
        Notify(OnHeaderBegin);

    THeaderTokenizer tokens(FCurrent);
    const std::string name = tokens.Token();
    if (tokens.Stop() == ':') {
        const std::string_view rest = tokens.Rest();
        if (name == "from")
            From = rest;
        else if (name == "to")
            To = rest;
        else if (name == "cc")
            Cc = rest;
        else if (name == "subject")
            Subject = rest;
        else if (name == "date")
            Date = rest;
        else if (name == "mime-version")
            MimeVersion = rest;
        else if (name == "return-path")
            ReturnPath = StripAngles(rest);
        else if (name == "priority" || name == "x-priority")
            Priority = PriorityOfValue(rest);
        else if (name == "content-type") {
            ContentType = tokens.ExtendedToken();
            ReadParameters(tokens, [this](const std::string& param, std::string value) {
                if (param == "name")
                    HeaderName = std::move(value);
                else if (param == "charset")
                    Charset = std::move(value);
                else if (param == "boundary") {
                    Boundary = BoundaryOf(std::move(value));
                    IsMultipart = true;
                }
            });
        } else if (name == "content-transfer-encoding")
            Encoding = tokens.ExtendedToken();
        else if (name == "content-disposition") {
            Disposition = tokens.ExtendedToken();
            ReadParameters(tokens, [this](const std::string& param, std::string value) {
                if (param == "filename")
                    FileName = std::move(value);
            });
        }
    }
    HeaderLines.emplace_back(FCurrent);
    Notify(OnHeaderLine);
}

void TMimeDecode::SingleBodyLine(char* line, size_t len, size_t room) {
    if (FLineCount++ == 0)
        PartBegin();
    DecodeAndPass(line, len, room);
}

void TMimeDecode::PreambleLine(char* line, size_t len) {
    if (MatchesBoundary(FCurrent, false))
        BoundaryAction();
    else
        PassOn(line, len, true);
}

bool TMimeDecode::MatchesBoundary(std::string_view line, bool withClosing) {
    // Every boundary begins with "--": most lines are ruled out at once.
    if (line.size() < 2 || line[0] != '-' || line[1] != '-')
        return false;
    FLowered.assign(line);
    LowerInPlace(FLowered);
    if (FLowered == Boundary)
        return true;
    const bool closing =
        withClosing && FLowered.size() >= 4 && FLowered.compare(FLowered.size() - 2, 2, "--") == 0;
    if (closing && FLowered.size() == Boundary.size() + 2 &&
        FLowered.compare(0, Boundary.size(), Boundary) == 0) {
        EndOfMime = true;
        return true;
    }
    if (FNested.empty())
        return false;
    if (FNested.count(FLowered))
        return true;
    if (closing) {
        FLowered.resize(FLowered.size() - 2);
        return FNested.count(FLowered) > 0;
    }
    return false;
}

void TMimeDecode::BoundaryAction() {
    PartEnd();
    ClearPartValues();
    FHeaderMode = true;
    FLineCount = 0;
    FUUOpen = FInlineOpen = false;
    FPartHeaderBegun = false;
    FHandler = THandler::PartHeader;
}

void TMimeDecode::ClearPartValues() {
    for (std::string* value :
         {&PartContentType, &PartEncoding, &PartName, &PartDisposition, &PartContentID,
          &PartFileName, &PartCharset, &PartTypeLine, &PartDispositionLine})
        value->clear();
}

void TMimeDecode::PartHeaderLine(char* line, size_t len, size_t room) {
    if (len == 0) {
        if (!FPartHeaderBegun) {
            ++PartNumber;
            Notify(OnPartHeaderBegin);
        }
        Notify(OnPartHeaderEnd);
        FHeaderMode = false;
        FLineCount = 0;
        EnterBody(THandler::PartBody, PartEncoding);
        return;
    }
    if (!FPartHeaderBegun) {
        ++PartNumber;
        FPartHeaderBegun = true;
        Notify(OnPartHeaderBegin);
    }
    if (line[0] == ' ' || line[0] == '\t') {
        // A part without header: this is already its first body line.
        Notify(OnPartHeaderEnd);
        FHeaderMode = false;
        FLineCount = 0;
        EnterBody(THandler::PartBody, PartEncoding);
        PartBodyLine(line, len, room);
        return;
    }

    THeaderTokenizer tokens(FCurrent);
    const std::string name = tokens.Token();
    if (name == "content-type") {
        PartTypeLine = FCurrent;
        PartContentType = tokens.ExtendedToken();
        ReadParameters(tokens, [this](const std::string& param, std::string value) {
            if (param == "name")
                PartName = std::move(value);
            else if (param == "charset")
                PartCharset = std::move(value);
            else if (param == "boundary")
                FNested.insert(BoundaryOf(std::move(value)));
        });
    } else if (name == "content-transfer-encoding") {
        PartEncoding = tokens.ExtendedToken();
    } else if (name == "content-disposition") {
        PartDispositionLine = FCurrent;
        PartDisposition = tokens.ExtendedToken();
        if (tokens.Stop() == ';' && tokens.Token() == "filename")
            PartFileName = tokens.PlainValue();
    } else if (name == "content-description") {
        if (PartFileName.empty() && tokens.Token() == "filename")
            PartFileName = tokens.PlainValue();
    } else if (name == "content-id") {
        PartContentID = StripAngles(tokens.Rest());
    }
    Notify(OnPartHeaderLine);
}

void TMimeDecode::PartBodyLine(char* line, size_t len, size_t room) {
    if (len > 0 && MatchesBoundary(FCurrent, true)) {
        BoundaryAction();
        return;
    }
    if (!FPartOpen)
        PartBegin();
    DecodeAndPass(line, len, room);
}

void TMimeDecode::EnterBody(THandler handler, const std::string& encoding) {
    FHandler = handler;
    if (encoding == "base64")
        FCoding = TCoding::Base64;
    else if (encoding == "quoted-printable")
        FCoding = TCoding::QuotedPrintable;
    else if (encoding == "x-uuencode")
        FCoding = TCoding::UUEncode;
    else
        FCoding = TCoding::Identity;
}

// Appends CR LF, in place when the consumed line end leaves room for it.
const char* TMimeDecode::WithLineEnd(char* data, size_t& len, size_t room) {
    if (len + 2 <= room) {
        data[len] = '\r';
        data[len + 1] = '\n';
        len += 2;
        return data;
    }
    FScratch.assign(data, len);
    FScratch += "\r\n";
    len = FScratch.size();
    return FScratch.data();
}

void TMimeDecode::DecodeAndPass(char* line, size_t len, size_t room) {
    switch (FCoding) {
    case TCoding::Base64:
        // Decoded bytes are not text lines: the inline detector would eat binary data.
        PassOn(line, DecodeBase64Line(line, len), false);
        break;
    case TCoding::QuotedPrintable: {
        bool softBreak = false;
        size_t n = DecodeQuotedPrintableLine(line, len, softBreak);
        const char* data = softBreak ? line : WithLineEnd(line, n, room);
        PassOn(data, n, true);
        break;
    }
    case TCoding::UUEncode:
        UUEncodeLine(line, len);
        break;
    case TCoding::Identity: {
        size_t n = len;
        const char* data = WithLineEnd(line, n, room);
        PassOn(data, n, true);
        break;
    }
    }
}

void TMimeDecode::UUEncodeLine(char* line, size_t len) {
    if (StartsWithNoCase(line, len, "begin ") && !IsCutHere(FCurrent)) {
        FUUOpen = true;
        return;
    }
    if (StartsWithNoCase(line, len, "end") && !IsCutHere(FCurrent)) {
        FUUOpen = false;
        return;
    }
    if (len > 0 && FUUOpen)
        PassOn(line, DecodeUULine(line, len), false);
}

void TMimeDecode::PassOn(const char* data, size_t len, bool mayBeInline) {
    if (len == 0)
        return;
    if (mayBeInline && PartContentType.empty() && InlineDetect(data, len))
        return;
    if (OnPartLine)
        OnPartLine(*this, data, len);
}

bool TMimeDecode::InlineDetect(const char* data, size_t len) {
    const std::string_view text(data, len);
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return false;
    if (!FInlineOpen) {
        if (!StartsWithNoCase(data, len, InlineBegin) || IsCutHere(text))
            return false;
        FInlineOpen = true;
        FInlineName = NameAfterSecondBlank(text);
        if (OnInlineDecodeBegin)
            OnInlineDecodeBegin(*this, FInlineName);
        return true;
    }
    if (StartsWithNoCase(data, len, "end") && !IsCutHere(text)) {
        FInlineOpen = false;
        if (OnInlineDecodeEnd)
            OnInlineDecodeEnd(*this, FInlineName);
        return true;
    }
    if (OnInlineDecodeLine) {
        FInlineLine.assign(text.substr(0, text.find_last_not_of("\r\n") + 1));
        const size_t n = DecodeUULine(FInlineLine.data(), FInlineLine.size());
        OnInlineDecodeLine(*this, FInlineLine.data(), n);
    }
    return true;
}

void TMimeDecode::PartBegin() {
    FPartOpen = true;
    Notify(OnPartBegin);
}

void TMimeDecode::PartEnd() {
    FPartOpen = false;
    Notify(OnPartEnd);
}
