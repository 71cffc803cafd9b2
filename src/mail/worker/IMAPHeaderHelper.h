// TIMAPHeaderHelper: the second IMAP session of a large check (see THeaderHelper).
#pragma once

#include "HeaderHelper.h"
#include "imap/IMAPSession.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class TIMAPHeaderHelper : public THeaderHelper {
  public:
    // Starts fetching uids over a session of its own, set up as like (not yet connected). Its
    // headers count only when its INBOX has the worker's validity: uids of another name
    // other messages.
    TIMAPHeaderHelper(const TQBIMAP& like, std::vector<uint32_t> uids, uint32_t validity,
                      int connectTimeoutMs);
    ~TIMAPHeaderHelper() override;

    // After Wait: moves the header of uid into header; false when the helper has none.
    bool Take(uint32_t uid, TIMAPHeader& header);
    bool Covers(uint32_t uid) const { return uid >= FFirst && uid <= FLast; }

  private:
    TQBIMAP FSession;
    uint32_t FFirst = 0, FLast = 0;
    std::unordered_map<uint32_t, TIMAPHeader> FHeaders;

    void Drop() override { FSession.DropConnection(); }
    void Run(const std::vector<uint32_t>& uids, uint32_t validity, int connectTimeoutMs);
};
