// Texts made from a message entry: bar caption, hover hint, recipients as the list shows them.
#include "model/UEntryText.h"

#include "mail/UCustomIndy.h"

std::string EntryCaption(const TQBMessage& msg, const std::string& accountName) {
    return msg.Decoder.Subject + " (" + accountName + ")";
}

std::string EntryHint(const TQBMessage& msg, const std::string& accountName) {
    std::string to;
    for (size_t i = 0; i < msg.To.size(); ++i)
        to += (i ? ", " : "") + msg.To[i].Address;
    return "Account: " + accountName + "\r\nFrom: " + msg.From.Address + "\r\nTo: " + to +
           "\r\nDate: " + msg.Decoder.Date;
}

std::string RecipientsText(const TQBMessage& msg, TRecipientForm form) {
    std::string text;
    for (size_t i = 0; i < msg.To.size(); ++i) {
        const TQBContact& contact = msg.To[i];
        const std::string one =
            contact.Name.empty() ? contact.Address : contact.Name + " (" + contact.Address + ")";
        if (form == TRecipientForm::BlankSeparated)
            text += one + " ";
        else
            text += (i ? ", " : "") + one;
    }
    return text;
}
