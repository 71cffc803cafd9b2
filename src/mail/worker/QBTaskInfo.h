// TQBTaskInfo: one job for the mailbox worker.
#pragma once

#include "core/MailProtocol.h"

#include <cstdint>
#include <string>
#include <vector>

// tkMarkRead sets \Seen on an IMAP server; a POP3 server keeps no read state.
enum TTaskKind : uint8_t {
    tkCheck = 0,
    tkRetrieve = 1,
    tkRemove = 2,
    tkRemoveSeveral = 3,
    tkMarkRead = 4
};

// A message as a job names it. Numbers change when another client removes messages, so the
// worker acts on the number the server gives the key now, not on the one of the last check.
// On IMAP the key is "<uidvalidity>:<uid>" and the number the message's place among the
// unseen ones; the worker acts on the uid alone.
struct TMessageRef {
    int32_t Number = 0; // at the last check; tried first
    std::string UID;    // the key: digest of the server's unique id (POP3)
    // Which of the messages with this key it is, out of how many (a faulty server may give
    // two messages one unique id); a different count on the server makes it ambiguous.
    int32_t Occurrence = 0;
    int32_t Count = 1;
    std::string MessageID; // of the announced header, "" when it had none
};

struct TQBTaskInfo {
    uint8_t Kind = tkCheck;
    std::string Host;
    int32_t Port = 110;
    std::string User;
    std::string Pass;
    // Not empty: Pass is read from the system keyring under this name when the job runs.
    std::string KeyringKey;
    bool Secure = false; // APOP login
    // -1 check; for kinds 1 and 2 the last check's number of the message, and while a job
    // runs, the number the server gives it now.
    int32_t MsgNum = -1;
    int32_t Account = -1;
    int32_t Full = 0; // kind 1: non-zero fetches the whole message unasked
    // Kinds 1 and 2: the one message; kinds 3 and 4: the messages, by ascending number.
    std::vector<TMessageRef> Messages;
    intptr_t Notify = 0; // receives the "job ended" message; 0 none
    // Kind 1: the cache file the message is written to, on the worker's thread, before it is
    // announced; empty: none.
    std::string CacheFile;
    int32_t TLS = 0; // 0 none, 1 STLS, 2 POP3S
    bool TLSVerify = true;
    uint8_t Protocol = mpPOP3; // TMailProtocol
};
