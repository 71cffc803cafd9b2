// The read window's view of one message: the texts it shows, the source as received and
// the attachments under their safe names, prepared off the GUI thread.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TQBMessage;

struct TReadAttachment {
    int Part = 0; // in the view's Message
    // The safe name: listed, asked about, remembered by extension, written and opened.
    std::string Name;
    // The desktop theme's icon for its type, and the generic one behind it.
    QString IconName, GenericIconName;
};

struct TReadView {
    QString Date, From, To, CC, Subject;
    QString SourceIP, Recipient; // from the Received lines
    QString SourceLink;          // the WHOIS query for SourceIP
    int Priority = 0;            // X-Priority: 1 and 2 high, 4 and 5 low
    QString BodyHtml;            // the body text, escaped, its addresses made links
    bool TextTab = false;        // the body is the message's own plain text: show it in front
    std::shared_ptr<const std::string> Source; // as received
    bool Complete = false;                     // the whole message, not its first lines
    std::vector<TReadAttachment> Attachments;
    // The parsed message, read-only: attachment data and reply addresses.
    std::shared_ptr<const TQBMessage> Message;
};
using TReadViewPtr = std::shared_ptr<const TReadView>;

// A header text as the window shows it: encoded words decoded, on one line.
QString ShownHeaderText(const std::string& raw);

// The WHOIS service behind the source address; the query path is appended.
extern const char* const WhoisServiceUrl;

// Parses source and prepares its view; safe on any thread. Parsing polls cancelled and
// reports the bytes parsed to progress; a cancel throws EStreamError.
TReadView PrepareReadView(std::shared_ptr<const std::string> source, bool complete,
                          const std::atomic<bool>& cancelled,
                          const std::function<void(int64_t parsed)>& progress);

// The next piece of the Source view: whole lines of source from offset, about bytes long
// (at least one line), as SourceText gives them without the last line break; offset moves
// past them. Empty at the end.
QString NextSourcePiece(const std::string& source, size_t& offset, size_t bytes);
