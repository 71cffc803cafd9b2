// TQBMessage: fills its fields from the decoder's events and header values.
#include "mime/Message.h"

#include "mime/DateTimeValue.h"
#include "mime/MessageFields.h"

#include <stdexcept>

namespace {

const char* const Unknown = "(unknown)";

// Whether the part could be the body a person reads, which is always kept whole.
bool MayBeBody(const TQBMessagePart& part) {
    return !IsAttachmentPart(part) &&
           (part.ContentType.empty() || part.ContentType.rfind("text/", 0) == 0);
}

} // namespace

bool IsAttachmentPart(const TQBMessagePart& part) {
    return part.Disposition == "attachment" || !part.FileName.empty() || !part.Name.empty();
}

TQBMessage::TQBMessage() {
    Received[0] = Received[1] = TQBReceived{Unknown, Unknown};
    Decoder.OnHeaderLine = [this](TMimeDecode& decoder) {
        Headers.emplace_back(decoder.CurrentData());
    };
    Decoder.OnPartBegin = [this](TMimeDecode& d) {
        const size_t index = static_cast<size_t>(d.PartNumber);
        if (Parts.size() < index + 1)
            Parts.resize(index + 1);
        Parts[index] = TQBMessagePart{
            d.PartContentType, d.PartEncoding,       d.PartName,    d.PartDisposition,
            d.PartContentID,   d.PartFileName,       d.PartCharset, {},
            d.PartTypeLine,    d.PartDispositionLine};
    };
    Decoder.OnPartLine = [this](TMimeDecode& d, const char* data, size_t dataLen) {
        const size_t index = static_cast<size_t>(d.PartNumber);
        if (Parts.size() < index + 1)
            Parts.resize(index + 1);
        TQBMessagePart& part = Parts[index];
        if (FOnlyPart >= 0 && d.PartNumber != FOnlyPart)
            return;
        if (part.DataLeftOut)
            return;
        if (part.Data.size() + dataLen > MaxKeptData && !MayBeBody(part)) {
            part.DataLeftOut = true;
            std::string().swap(part.Data);
            return;
        }
        part.Data.append(data, dataLen);
    };
}

void TQBMessage::LoadFromLines(const std::vector<std::string>& lines) {
    std::string text;
    size_t size = 0;
    for (const std::string& line : lines)
        size += line.size() + 2;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    TMemoryStream stream(std::move(text));
    LoadFromStream(stream);
}

void TQBMessage::LoadFromStream(TStream& stream) {
    Decoder.DecodeStream(stream);
    From = ParseAddress(Decoder.From);
    To = ParseAddressList(Decoder.To);
    CC = ParseAddressList(Decoder.Cc);
    Date = ParseMailDate(Decoder.Date);
    ScanReceived(Headers, Received);
}

std::string TQBMessage::DecodePart(std::string_view text, int index) {
    TQBMessage message;
    message.FOnlyPart = index;
    TViewStream stream(text);
    message.LoadFromStream(stream);
    return index >= 0 && index < message.PartCount() ? std::move(message.Parts[index].Data)
                                                     : std::string();
}

const TQBMessagePart& TQBMessage::GetPart(int index) const {
    return Parts.at(static_cast<size_t>(index));
}

const TQBContact& TQBMessage::GetTo(int index) const {
    return To.at(static_cast<size_t>(index));
}

const TQBContact& TQBMessage::GetCC(int index) const {
    return CC.at(static_cast<size_t>(index));
}

const TQBReceived& TQBMessage::GetReceived(int index) const {
    if (index < 0 || index > 1)
        throw std::out_of_range("Received index");
    return Received[index];
}
