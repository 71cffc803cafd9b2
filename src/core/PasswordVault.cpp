// The installed vault, shared by the main thread and the worker.
#include "core/PasswordVault.h"

#include <atomic>

namespace {

std::atomic<TPasswordVault*> Installed{nullptr};

} // namespace

void SetPasswordVault(TPasswordVault* vault) {
    Installed = vault;
}

TPasswordVault* PasswordVault() {
    return Installed;
}

TVaultRead VaultPassword(const std::string& accountName) {
    TPasswordVault* vault = PasswordVault();
    TVaultRead read = vault ? vault->Read(accountName) : TVaultRead{{}, "no keyring"};
    if (!read.Error.empty()) {
        read.Password.clear();
        read.Error = "The password could not be read from the system keyring: " + read.Error;
    }
    return read;
}
