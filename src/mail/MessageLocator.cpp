// TMessageLocator: finds on the server, as it is now, the messages a job names by key.
#include "MessageLocator.h"

#include "MD5Hex.h"
#include "POP3Reply.h"

EAmbiguousMessage::EAmbiguousMessage()
    : EPOP3InStepError("The message could not be told apart from another with the same unique "
                       "id on the server; it was left alone.") {}

void TMessageLocator::ListAll() {
    if (FListed)
        return;
    TStringList list;
    if (!FPOP3.ListUIDs(list))
        throw EPOP3ReplyError(FPOP3.LastReply.Text);
    FNumbers.clear();
    for (const std::string& line : list) {
        const TListingLine fields = ParseListingLine(line);
        if (fields.Number <= 0 || fields.Value.empty())
            throw EPOP3Error("Not a line of the unique id list: \"" + line + "\"");
        FNumbers[MD5Hex(fields.Value)].push_back(fields.Number);
    }
    FListed = true;
}

int TMessageLocator::Locate(const TMessageRef& ref) {
    const std::string key = LowerHex(ref.UID);
    if (!FListed && ref.Count == 1 && ref.Number > 0) {
        std::string uid;
        if (FPOP3.UIDOf(ref.Number, uid) && MD5Hex(uid) == key)
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
