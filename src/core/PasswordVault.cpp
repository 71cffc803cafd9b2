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

std::string MoveOAuthSecrets(TPasswordVault& vault, const std::string& accountName,
                             TOAuthConfig& oauth, bool toVault) {
    std::string* values[] = {&oauth.Refresh, &oauth.ClientSecret};
    const std::string names[] = {RefreshTokenVaultName(accountName),
                                 ClientSecretVaultName(accountName)};
    if (toVault) {
        // Empty ones too, so that moving them back out finds both.
        for (size_t i = 0; i < 2; ++i)
            if (std::string problem = vault.Write(names[i], *values[i]); !problem.empty())
                return problem;
        for (std::string* value : values)
            value->clear();
        return {};
    }
    std::string read[2];
    for (size_t i = 0; i < 2; ++i) {
        TVaultRead secret = vault.Read(names[i]);
        if (!secret.Error.empty())
            return secret.Error;
        read[i] = std::move(secret.Password);
    }
    for (size_t i = 0; i < 2; ++i)
        *values[i] = std::move(read[i]);
    RemoveOAuthSecrets(vault, accountName);
    return {};
}

void RemoveOAuthSecrets(TPasswordVault& vault, const std::string& accountName) {
    vault.Remove(RefreshTokenVaultName(accountName));
    vault.Remove(ClientSecretVaultName(accountName));
}
