// TMessageLocator: finds on the server, as it is now, the messages a job names by key.
#include "MessageLocator.h"

#include "core/MD5Hex.h"
#include "pop3/POP3Reply.h"

EAmbiguousMessage::EAmbiguousMessage()
    : EMailInStepError("The message could not be told apart from another with the same unique "
                       "id on the server; it was left alone.") {}

std::string HeaderKey(const TStringList& header) {
    // Up to the blank line: TOP and RETR of some servers differ in sending it.
    std::string text = "header";
    for (const std::string& line : header) {
        if (line.empty())
            break;
        text += "\n" + line;
    }
    return MD5Hex(text);
}

std::string TMessageLocator::HeaderKeyOf(int number) {
    TStringList header;
    if (FPOP3.RetrieveTop(number, 0, header) || FPOP3.RetrieveHeader(number, header))
        return HeaderKey(header);
    return "";
}

void TMessageLocator::ListByHeaders() {
    const std::string refusal = FPOP3.LastReply.Text;
    TStringList list;
    // A server that lists UIDL has it: its refusal is a failure.
    if (FPOP3.UIDLListed || !FPOP3.Connected() || !FPOP3.ListMessages(list))
        throw EMailReplyError(refusal);
    for (const std::string& line : list) {
        const int number = ParseListingLine(line).Number;
        if (number <= 0)
            throw EMailError("Not a line of the message list: \"" + line + "\"");
        const std::string key = HeaderKeyOf(number);
        if (key.empty())
            throw EMailReplyError(FPOP3.LastReply.Text);
        FNumbers[key].push_back(number);
    }
    FListed = true;
}

void TMessageLocator::ListAll() {
    if (FListed)
        return;
    FNumbers.clear();
    TStringList list;
    if (!FPOP3.ListUIDs(list)) {
        ListByHeaders();
        return;
    }
    for (const std::string& line : list) {
        const TListingLine fields = ParseListingLine(line);
        if (fields.Number <= 0 || fields.Value.empty())
            throw EMailError("Not a line of the unique id list: \"" + line + "\"");
        FNumbers[MD5Hex(fields.Value)].push_back(fields.Number);
    }
    FListed = true;
}

int TMessageLocator::Locate(const TMessageRef& ref) {
    const std::string key = LowerHex(ref.UID);
    if (!FListed && ref.Count == 1 && ref.Number > 0) {
        std::string uid;
        if (FPOP3.UIDOf(ref.Number, uid)) {
            if (MD5Hex(uid) == key)
                return ref.Number;
        } else if (!FPOP3.UIDLListed && FPOP3.Connected() && HeaderKeyOf(ref.Number) == key)
            return ref.Number;
    }
    ListAll();
    const auto found = FNumbers.find(key);
    if (found == FNumbers.end())
        return 0;
    const std::vector<int>& numbers = found->second;
    if (static_cast<int>(numbers.size()) != ref.Count || ref.Occurrence < 0 ||
        ref.Occurrence >= ref.Count)
        throw EAmbiguousMessage();
    return numbers[static_cast<size_t>(ref.Occurrence)];
}
