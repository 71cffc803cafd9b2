// TMimeDecode: the streaming MIME decoder that reports a message through events.
#pragma once

#include "mime/Stream.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// Reads a message line by line, records the main header's values, walks the
// multipart structure (nested multiparts flattened into one numbered sequence)
// and hands out every decoded part byte through OnPartLine: a line at a time for
// unencoded text, runs of many decoded lines for base64 and quoted-printable. Header
// values are kept as written: no encoded-word decoding. It never fails on bad input;
// memory follows the longest line (at least 16 KB), not the message.
class TMimeDecode {
  public:
    using TNotifyEvent = std::function<void(TMimeDecode& sender)>;
    using TMimeDecodePartLine =
        std::function<void(TMimeDecode& sender, const char* data, size_t dataLen)>;
    using TInlineDecodeBegin =
        std::function<void(TMimeDecode& sender, const std::string& filename)>;
    using TInlineDecodeLine =
        std::function<void(TMimeDecode& sender, const char* line, size_t lineLen)>;
    using TInlineDecodeEnd = std::function<void(TMimeDecode& sender, const std::string& filename)>;

    TMimeDecode();

    // Reads the stream to its end and raises the events. Every value starts
    // afresh; exceptions of the stream pass through.
    void DecodeStream(TStream& stream);

    // Values of the main header, as written unless noted.
    std::string From, To, Cc, Subject, Date, MimeVersion;
    std::string ReturnPath; // without one enclosing pair of angle brackets
    int Priority = 0;       // 0 without a Priority/X-Priority header, else see PriorityOfValue
    std::string ContentType, Encoding, Disposition; // lower case, no parameters
    std::string Charset, HeaderName, FileName;      // parameters
    std::string Boundary;                           // "--" + lower-cased boundary parameter
    bool IsMultipart = false;
    bool EndOfMime = false; // the closing main boundary was seen
    std::vector<std::string> HeaderLines;

    // Values of the current part, cleared at every boundary.
    std::string PartContentType, PartEncoding, PartName, PartDisposition, PartContentID,
        PartFileName, PartCharset;
    // The part's Content-Type and Content-Disposition lines as written, for the
    // parameter forms the values above leave out (extended and continued ones).
    std::string PartTypeLine, PartDispositionLine;
    int PartNumber = 0;

    // The line being handled, valid during an event: header lines with their
    // continuations joined; body lines may already be decoded in place.
    std::string_view CurrentData() const { return FCurrent; }
    // Bytes of the input consumed so far.
    int64_t Position() const { return FPosition; }

    TNotifyEvent OnHeaderBegin, OnHeaderLine, OnHeaderEnd;
    TNotifyEvent OnPartHeaderBegin, OnPartHeaderLine, OnPartHeaderEnd;
    TNotifyEvent OnPartBegin;
    TMimeDecodePartLine OnPartLine;
    TNotifyEvent OnPartEnd, OnMessageEnd;
    TInlineDecodeBegin OnInlineDecodeBegin;
    TInlineDecodeLine OnInlineDecodeLine;
    TInlineDecodeEnd OnInlineDecodeEnd;

  private:
    enum class THandler { MainHeader, SingleBody, Preamble, PartHeader, PartBody };
    enum class TCoding { Identity, Base64, QuotedPrintable, UUEncode };

    void Reset();
    bool Fill(TStream& stream);
    bool DecodeRun(size_t lf);
    void HandleLine(char* line, size_t len, size_t room);
    void MainHeaderLine(char* line, size_t len);
    void SingleBodyLine(char* line, size_t len, size_t room);
    void PreambleLine(char* line, size_t len);
    void PartHeaderLine(char* line, size_t len, size_t room);
    void PartBodyLine(char* line, size_t len, size_t room);
    void BoundaryAction();
    void ClearPartValues();
    bool MatchesBoundary(std::string_view line, bool withClosing);
    void EnterBody(THandler handler, const std::string& encoding);
    void DecodeAndPass(char* line, size_t len, size_t room);
    const char* WithLineEnd(char* data, size_t& len, size_t room);
    void PassOn(const char* data, size_t len, bool mayBeInline);
    bool InlineDetect(const char* data, size_t len);
    void UUEncodeLine(char* line, size_t len);
    void PartBegin();
    void PartEnd();
    void Notify(const TNotifyEvent& event);
    // Squeezes the marked line breaks out of a folded header line; returns its new length.
    size_t Unfold(char* line, size_t len);

    std::vector<char> FBuffer;
    size_t FStart = 0, FScan = 0, FEnd = 0;
    static constexpr size_t NoLineEnd = SIZE_MAX;
    size_t FLastLineEnd = NoLineEnd; // the last LF in the buffer, once looked for
    bool FEof = false;
    // The line being read was folded: its breaks are marked, to be taken out once it is whole.
    static constexpr char FoldMark = '\0';
    bool FFolded = false;
    int64_t FPosition = 0;
    std::string_view FCurrent;
    std::string FScratch;    // a line plus CR LF when there is no room in place
    std::string FLowered;    // lower-cased line for boundary comparison
    std::string FInlineLine; // a copy of an inline uuencoded line to decode

    THandler FHandler = THandler::MainHeader;
    TCoding FCoding = TCoding::Identity;
    bool FHeaderMode = true;
    int64_t FLineCount = 0;
    bool FPartOpen = false;
    bool FPartHeaderBegun = false;
    bool FUUOpen = false;
    bool FInlineOpen = false;
    std::string FInlineName;
    std::unordered_set<std::string> FNested;
};

// Priority of a Priority or X-Priority value: 1 when it contains "urgent", 5 for
// "non-priority", else its first word as a decimal number, 3 when not a number.
int PriorityOfValue(std::string_view value);
