// The check on servers that lack the optional commands UIDL or TOP: messages keyed by their
// headers, and headers read with RETR.
#include "QBThread.h"

#include "core/MD5Hex.h"
#include "mime/FirstLines.h"

#include <algorithm>

namespace {

const char* const KeysFromHeadersNote =
    "The server does not support UIDL: messages are told apart by their headers, so a read "
    "mark follows the header (a message whose header changes on the server shows as new).";

} // namespace

bool TQBThread::ListWithoutUIDs(TStringList& list) {
    const TPOP3Reply refusal = POP3.LastReply;
    // A server that lists UIDL among its capabilities has it: its refusal is a failure, as
    // is one that closed the session or a LIST refused too. Keys by header would make
    // every message new.
    if (POP3.UIDLListed || !POP3.Connected() || !POP3.ListMessages(list)) {
        POP3.LastReply = refusal;
        return false;
    }
    FKeysFromHeaders = true;
    if (FNotedNoUIDL.insert(ServerName()).second)
        RaiseError(TErrorSeverity::Warning, KeysFromHeadersNote);
    return true;
}

bool TQBThread::PipelinesTops() const {
    return POP3.Pipelining && POP3.TopListed && FLacksTop.count(ServerName()) == 0;
}

bool TQBThread::ReadHeaderAlone(TCheckEntry& entry) {
    const std::string server = ServerName();
    if (FLacksTop.count(server) != 0)
        return POP3.RetrieveHeader(entry.Number, entry.Lines);
    POP3.SendTops({entry.Number}, 0, false);
    if (POP3.ReadTop(entry.Lines)) {
        FTopWorked = true;
        return true;
    }
    // The first refusal may mean that the server has no TOP at all (it is optional): one
    // that then gives the message with RETR gives every header that way for this run.
    if (FTopWorked || !POP3.Connected())
        return false;
    const TPOP3Reply refusal = POP3.LastReply;
    if (!POP3.RetrieveHeader(entry.Number, entry.Lines)) {
        POP3.LastReply = refusal;
        return false;
    }
    FLacksTop.insert(server);
    return true;
}

void TQBThread::KeyByHeader(TCheckEntry& entry, bool readable) {
    // Without a header, the number is all there is to key by.
    if (!readable)
        entry.UID = MD5Hex("unreadable " + std::to_string(entry.Number));
    else
        entry.UID = HeaderKey(entry.Lines);
    entry.New = FKnown.count(entry.UID) == 0;
    entry.Replaces = entry.New && FKnownSizes.count(entry.UID) > 0;
    if (!entry.New) {
        TStringList().swap(entry.Lines);
        entry.Problem.clear();
    }
}

bool TQBThread::RetrieveFirstLines(int number) {
    const std::string server = ServerName();
    // The limit comes from the settings file, where a hand may have made it negative.
    const int lines = std::max(0, MaxLines.load());
    if (FLacksTop.count(server) == 0) {
        if (POP3.RetrieveTop(number, lines, FText))
            return true;
        if (!POP3.Connected())
            return false;
    }
    // The message was just found on the server, so a refused TOP means there is no TOP.
    const TPOP3Reply refusal = POP3.LastReply;
    FText.clear();
    if (!POP3.RetrieveMessage(number, FText)) {
        POP3.LastReply = refusal;
        return false;
    }
    FLacksTop.insert(server);
    KeepFirstLines(FText, lines);
    return true;
}
