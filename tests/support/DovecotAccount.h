// The settings of an account on a Dovecot user of the tests, as a user would enter them.
#pragma once

#include "DovecotServer.h"
#include "core/UOptions.h"

#include <string>

inline TAccount DovecotAccount(const TDovecotServer& server, int user, const std::string& name) {
    TAccount account;
    account.AccountName = name;
    account.POPHost = "127.0.0.1";
    account.POPPort = server.Port();
    account.POPUser = server.User(user);
    account.POPPass = server.Password(user);
    return account;
}
