// Texts made from a message entry: bar caption, hover hint, recipients as the list shows them.
#include "model/EntryText.h"

#include "model/StoreRecords.h"

#include "mime/Charset.h"
#include "mime/DisplayText.h"
#include "mime/Message.h"

namespace {

// Header text as one line of UTF-8: a subject must not be able to shape the bar's layout.
std::string Shown(const std::string& raw) {
    return SingleLine(DecodeHeaderText(raw));
}

} // namespace

std::string EntryCaption(const TEntryFields& fields, const std::string& accountName) {
    return fields.Subject + " (" + SingleLine(UndeclaredToUtf8(accountName)) + ")";
}

std::string EntryHint(const TEntryFields& fields, const std::string& accountName) {
    std::string hint = "Account: " + SingleLine(UndeclaredToUtf8(accountName)) +
                       "\r\nFrom: " + fields.From + "\r\nTo: " + fields.To +
                       "\r\nDate: " + fields.DateText;
    if (fields.Unreadable && fields.Size >= 0)
        hint += "\r\nSize: " + std::to_string(fields.Size) + " bytes";
    return hint;
}

TEntryFields EntryFields(const TQBMessage& msg) {
    TEntryFields fields;
    fields.Subject = Shown(msg.Decoder.Subject);
    fields.From = Shown(msg.From.Address);
    fields.FromName = SingleLine(DisplayName(msg.From.Name));
    for (const TQBContact& to : msg.To)
        fields.Recipients.push_back(ContactText(to.Name, to.Address));
    for (size_t i = 0; i < msg.To.size(); ++i)
        fields.To += (i ? ", " : "") + Shown(msg.To[i].Address);
    fields.DateText = Shown(msg.Decoder.Date);
    fields.Date = msg.Date;
    fields.Priority = msg.Decoder.Priority;
    return fields;
}

void CleanEntryFields(TEntryFields& fields) {
    for (std::string* text :
         {&fields.Subject, &fields.From, &fields.FromName, &fields.To, &fields.DateText})
        *text = SingleLine(*text);
    for (std::string& recipient : fields.Recipients)
        recipient = SingleLine(recipient);
}

std::string RecipientsText(const TEntryFields& fields, TRecipientForm form) {
    std::string text;
    for (size_t i = 0; i < fields.Recipients.size(); ++i) {
        if (form == TRecipientForm::BlankSeparated)
            text += fields.Recipients[i] + " ";
        else
            text += (i ? ", " : "") + fields.Recipients[i];
    }
    return text;
}
