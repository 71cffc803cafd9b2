// TQBTaskInfo: one job for the mailbox worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum TTaskKind : uint8_t { tkCheck = 0, tkRetrieve = 1, tkRemove = 2, tkRemoveSeveral = 3 };

struct TQBTaskInfo {
    uint8_t Kind = tkCheck;
    std::string Host;
    int32_t Port = 110;
    std::string User;
    std::string Pass;
    bool Secure = false; // APOP login
    int32_t MsgNum = -1; // -1 check; the message for kinds 1 and 2; set while kind 3 runs
    int32_t Account = -1;
    int32_t Button = 0;
    int32_t Full = 0;                 // kind 1: non-zero fetches the whole message unasked
    std::vector<std::string> MsgNums; // kind 3: message numbers in decimal
    intptr_t Notify = 0;              // receives the "job ended" message; 0 none
    int32_t TLS = 0;                  // 0 none, 1 STLS, 2 POP3S
    bool TLSVerify = true;
};
