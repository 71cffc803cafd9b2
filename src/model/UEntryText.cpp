// Texts made from a message entry: bar caption, hover hint, recipients as the list shows them.
#include "model/UEntryText.h"

#include "model/UStore.h"

#include "mail/Charset.h"
#include "mail/DisplayText.h"
#include "mail/UCustomIndy.h"

namespace {

// Header text as one line of UTF-8: a subject must not be able to shape the bar's layout.
std::string Shown(const std::string& raw) {
    return SingleLine(DecodeHeaderText(raw));
}

} // namespace

std::string EntryCaption(const TQBMessage& msg, const std::string& accountName) {
    return Shown(msg.Decoder.Subject) + " (" + SingleLine(UndeclaredToUtf8(accountName)) + ")";
}

std::string EntryHint(const TQBMessage& msg, const std::string& accountName) {
    std::string to;
    for (size_t i = 0; i < msg.To.size(); ++i)
        to += (i ? ", " : "") + Shown(msg.To[i].Address);
    return "Account: " + SingleLine(UndeclaredToUtf8(accountName)) +
           "\r\nFrom: " + Shown(msg.From.Address) + "\r\nTo: " + to +
           "\r\nDate: " + Shown(msg.Decoder.Date);
}

TEntryFields EntryFields(const TQBMessage& msg) {
    TEntryFields fields;
    fields.Subject = Shown(msg.Decoder.Subject);
    fields.From = Shown(msg.From.Address);
    for (const TQBContact& to : msg.To)
        fields.Recipients.push_back(ContactText(to.Name, to.Address));
    fields.Date = msg.Date;
    fields.Priority = msg.Decoder.Priority;
    return fields;
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
