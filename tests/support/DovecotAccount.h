// The settings of an account on a Dovecot user of the tests, as a user would enter them.
#pragma once

#include "DovecotServer.h"
#include "core/Options.h"

#include <string>

inline TAccount DovecotAccount(const TDovecotServer& server, int user, const std::string& name) {
    TAccount account;
    account.AccountName = name;
    account.Host = "127.0.0.1";
    account.Port = server.Port();
    account.User = server.User(user);
    account.Pass = server.Password(user);
    return account;
}
