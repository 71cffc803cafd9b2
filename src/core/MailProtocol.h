// The protocol an account's incoming mail server speaks, and the ports it usually listens on.
#pragma once

#include "core/TLSMode.h"

enum TMailProtocol : int { mpPOP3 = 0, mpIMAP = 1 };

// The usual port of protocol with the security tls (tlsPOP3S: TLS from the first byte).
constexpr int UsualPort(int protocol, int tls) {
    if (protocol == mpIMAP)
        return tls == tlsPOP3S ? 993 : 143;
    return tls == tlsPOP3S ? 995 : 110;
}
