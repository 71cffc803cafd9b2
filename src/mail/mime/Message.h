// TQBMessage: one parsed mail message with its contacts, date, header lines and parts.
#pragma once

#include "mime/MimeDec.h"
#include "mime/Stream.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct TQBContact {
    std::string Name;
    std::string Address;
};

struct TQBReceived {
    std::string IP;  // the address in square brackets of a Received header
    std::string For; // the recipient in angle brackets after "for "
};

// One MIME part; the strings are the decoder's part values when its first data came.
struct TQBMessagePart {
    std::string ContentType; // lower case, "" for a single-part body and for the preamble
    std::string Encoding;    // lower case
    std::string Name;        // "name" parameter of Content-Type
    std::string Disposition; // lower case ("attachment", "inline", ...)
    std::string ContentID;   // without angle brackets
    std::string FileName;    // "filename" parameter
    std::string Charset;     // "charset" parameter
    std::string Data;        // the body after transfer decoding
    // The Content-Type and Content-Disposition lines as written (for extended parameters).
    std::string TypeLine, DispositionLine;
    // Data passed the message's MaxKeptData and is empty: TQBMessage::DecodePart has it.
    bool DataLeftOut = false;
};

// A part sent as a file (disposition "attachment", or a file name): listed, never the body.
bool IsAttachmentPart(const TQBMessagePart& part);

// Built from the header lines of a new message (check) or from the whole
// message text (read window). Loaded once; then read-only. Loading never
// fails on bad input; only a failing stream throws (EStreamError).
class TQBMessage {
  public:
    TQBMessage();
    TQBMessage(const TQBMessage&) = delete;
    TQBMessage& operator=(const TQBMessage&) = delete;

    // Joins the lines, each followed by CR LF, and loads the text.
    void LoadFromLines(const std::vector<std::string>& lines);
    // Parses a whole message from the stream's current position to its end.
    void LoadFromStream(TStream& stream);

    int PartCount() const { return static_cast<int>(Parts.size()); }
    // The Get... accessors throw std::out_of_range for an index outside the array.
    const TQBMessagePart& GetPart(int index) const;
    int ToCount() const { return static_cast<int>(To.size()); }
    const TQBContact& GetTo(int index) const;
    int CCCount() const { return static_cast<int>(CC.size()); }
    const TQBContact& GetCC(int index) const;
    // Index 0: what the second Received header gave (first one's values where it
    // had none); index 1: what the topmost one gave. "(unknown)" where nothing was found.
    const TQBReceived& GetReceived(int index) const;

    // Header values not copied here (Subject, ContentType, Priority, the raw
    // Date text, Position) are read from the decoder.
    TMimeDecode Decoder;
    std::vector<TQBMessagePart> Parts; // indexed by the decoder's part number
    TQBContact From;
    std::vector<TQBContact> To;
    std::vector<TQBContact> CC;
    double Date = 0; // days since 1899-12-30 (see DateTimeValue.h); 0 when absent or unreadable
    std::vector<std::string> Headers; // main header lines, continuations joined
    TQBReceived Received[2];
    int Shared = 0; // 1 while a window borrows the object from the message store
    // Set before loading. A part that cannot be the body (an attachment, or a type other than
    // text) keeps its data only up to this many bytes: a message with a large file is held
    // once, as its text, not again decoded.
    size_t MaxKeptData = SIZE_MAX;

    // The data of part index of the message text, decoded again: for a part whose data was
    // left out. Empty when the text has no such part.
    static std::string DecodePart(std::string_view text, int index);

  private:
    // Only this part's data is kept; -1 every part's.
    int FOnlyPart = -1;
};
