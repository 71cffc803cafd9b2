// The protocol an account's incoming mail server speaks, and the ports it usually listens on.
#pragma once

#include "core/TLSMode.h"

// The settings file keeps these numbers under "Protocol".
enum class TMailProtocol : int { POP3 = 0, IMAP = 1 };

// The usual port of protocol with the security tls.
constexpr int UsualPort(TMailProtocol protocol, TTLSMode tls) {
    if (protocol == TMailProtocol::IMAP)
        return tls == TTLSMode::Implicit ? 993 : 143;
    return tls == TTLSMode::Implicit ? 995 : 110;
}
