// TKeyringVault: passwords in the desktop's keyring (a Secret Service or KWallet on the
// session bus), through QtKeychain.
#pragma once

#include "core/PasswordVault.h"

#include <memory>

class TKeyringVault : public TPasswordVault {
  public:
    TKeyringVault();
    ~TKeyringVault() override;
    TKeyringVault(const TKeyringVault&) = delete;
    TKeyringVault& operator=(const TKeyringVault&) = delete;

    // A Secret Service or KWallet is on the session bus or can be started by it.
    bool Available() override;
    // The keyring's jobs run on the application's thread, whose loop serves their bus
    // calls. There a call waits as long as a keyring may take to be unlocked; a call from
    // another thread (a check) waits a few seconds only, and fails when that passes.
    TVaultRead Read(const std::string& accountName) override;
    std::string Write(const std::string& accountName, const std::string& password) override;
    std::string Remove(const std::string& accountName) override;
    void Close() override;

    // The calls waiting for the keyring, shared with the jobs that answer them.
    struct TCalls;

  private:
    std::shared_ptr<TCalls> FCalls;
};
