// TKeyringVault: passwords in the desktop's keyring (a Secret Service or KWallet on the
// session bus), through QtKeychain.
#pragma once

#include "core/PasswordVault.h"

class TKeyringVault : public TPasswordVault {
  public:
    // A Secret Service or KWallet is on the session bus or can be started by it.
    bool Available() override;
    // The keyring's jobs run on the application's thread, whose loop serves their bus
    // calls; a call from another thread waits for them there.
    TVaultRead Read(const std::string& accountName) override;
    std::string Write(const std::string& accountName, const std::string& password) override;
    std::string Remove(const std::string& accountName) override;
};
