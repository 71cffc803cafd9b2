// The sign-in servers the program knows, with their mail servers.
#include "Providers.h"

const std::vector<TOAuthProvider>& OAuthProviders() {
    static const std::vector<TOAuthProvider> providers = {
        {"Google", "https://accounts.google.com/o/oauth2/v2/auth",
         "https://oauth2.googleapis.com/token", "https://mail.google.com/",
         "https://mail.google.com/", "imap.gmail.com", 993, "pop.gmail.com", 995},
        {"Microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
         "https://login.microsoftonline.com/common/oauth2/v2.0/token",
         "https://outlook.office.com/IMAP.AccessAsUser.All offline_access",
         "https://outlook.office.com/POP.AccessAsUser.All offline_access", "outlook.office365.com",
         993, "outlook.office365.com", 995},
    };
    return providers;
}

const TOAuthProvider* FindOAuthProvider(const std::string& name) {
    for (const auto& provider : OAuthProviders())
        if (provider.Name == name)
            return &provider;
    return nullptr;
}
