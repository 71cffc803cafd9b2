// TPasswordVault: where an account keeps its password when not in the settings file (the
// desktop's keyring). The program installs one at start; the mail worker asks it at check
// time, from its own thread.
#pragma once

#include "core/OAuthConfig.h"

#include <string>

// A password read, or why there is none (Error, for the tasks window).
struct TVaultRead {
    std::string Password;
    std::string Error;
};

class TPasswordVault {
  public:
    virtual ~TPasswordVault() = default;
    // Whether the vault can be reached now.
    virtual bool Available() = 0;
    // Each waits for the vault's answer, from any thread. Write and Remove return "" when
    // done, else why not.
    virtual TVaultRead Read(const std::string& accountName) = 0;
    virtual std::string Write(const std::string& accountName, const std::string& password) = 0;
    virtual std::string Remove(const std::string& accountName) = 0;
    // The program is ending: every call still waiting for the vault ends at once with an
    // error, and every later call fails without waiting.
    virtual void Close() = 0;
};

// The program's vault; null: none installed, and no account can keep its password there.
void SetPasswordVault(TPasswordVault* vault);
TPasswordVault* PasswordVault();

// The password of an account kept in the vault. Any failure, a missing vault included, is
// an Error, never an empty password.
TVaultRead VaultPassword(const std::string& accountName);

// An OAuth2 account's refresh token and client secret moved into the vault (emptied in oauth
// then) or out of it into oauth, beside its password. "" when done, else why not; oauth is
// unchanged on failure.
std::string MoveOAuthSecrets(TPasswordVault& vault, const std::string& accountName,
                             TOAuthConfig& oauth, bool toVault);
// What cannot be removed stays unused in the vault.
void RemoveOAuthSecrets(TPasswordVault& vault, const std::string& accountName);
