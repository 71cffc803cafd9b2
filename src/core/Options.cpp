// The settings file: loading and saving the options and accounts.
#include "Options.h"

#include "Crypt.h"
#include "Folders.h"
#include "Global.h"
#include "IniFile.h"
#include "QuietHours.h"

#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

const std::string AccountPrefix = "Account=";

std::string Field(const TIniFile& ini, const std::string& section, const std::string& key,
                  const std::string& def) {
    return ini.ReadString(section, key, def).substr(0, MaxFieldLength);
}

bool IsAccountSection(const std::string& name) {
    return SameText(name.substr(0, name.find('=')), "Account");
}

std::string AccountSection(const TAccountConfig& account) {
    return AccountPrefix + account.AccountName;
}

// Longest OAuth2 setting: refresh tokens and URLs run well past a fixed-length field.
constexpr size_t MaxOAuthLength = 8192;

// A stored password that cannot be decoded loads as empty rather than stopping the start.
std::string LoadPassword(const std::string& stored, size_t maxLength = MaxFieldLength) {
    try {
        return TrimControl(DecodePassword(TrimControl(stored))).substr(0, maxLength);
    } catch (const EConvertError&) {
        return {};
    }
}

// A secret is stored as a password is, in pieces that the cipher and a value take whole: the
// first under key, the next under key + "2" and on. Real refresh tokens run past one piece.
constexpr size_t SecretPiece = 1024;
constexpr size_t MaxSecretPieces = MaxOAuthLength / SecretPiece;

std::string PieceKey(const std::string& key, size_t piece) {
    return piece == 0 ? key : key + std::to_string(piece + 1);
}

std::string LoadSecret(const TIniFile& ini, const std::string& section, const std::string& key) {
    std::string secret;
    for (size_t piece = 0; piece < MaxSecretPieces; ++piece) {
        const std::string stored = ini.ReadString(section, PieceKey(key, piece), "");
        if (stored.empty())
            break;
        secret += LoadPassword(stored, SecretPiece);
    }
    return secret;
}

void WriteSecret(TIniFile& ini, const std::string& section, const std::string& key,
                 const std::string& secret) {
    const std::string clear = TrimControl(secret).substr(0, MaxOAuthLength);
    size_t piece = 0;
    do {
        ini.WriteString(
            section, PieceKey(key, piece),
            TrimControl(EncodePassword(clear.substr(piece * SecretPiece, SecretPiece))));
    } while (++piece * SecretPiece < clear.size());
    for (; piece < MaxSecretPieces; ++piece)
        ini.DeleteKey(section, PieceKey(key, piece));
}

void DeleteSecret(TIniFile& ini, const std::string& section, const std::string& key) {
    for (size_t piece = 0; piece < MaxSecretPieces; ++piece)
        ini.DeleteKey(section, PieceKey(key, piece));
}

const char* ProviderWord(TOAuthIssuer provider) {
    switch (provider) {
    case TOAuthIssuer::Google:
        return "Google";
    case TOAuthIssuer::Microsoft:
        return "Microsoft";
    case TOAuthIssuer::Other:
        break;
    }
    return "Other";
}

TOAuthIssuer ProviderOf(const std::string& word) {
    for (TOAuthIssuer provider : {TOAuthIssuer::Google, TOAuthIssuer::Microsoft})
        if (SameText(TrimControl(word), ProviderWord(provider)))
            return provider;
    return TOAuthIssuer::Other;
}

TOAuthConfig LoadOAuth(const TIniFile& ini, const std::string& section, bool keyring) {
    auto field = [&](const char* key) {
        return TrimControl(ini.ReadString(section, key, "")).substr(0, MaxOAuthLength);
    };
    TOAuthConfig oauth;
    oauth.Provider = ProviderOf(ini.ReadString(section, "OAuthProvider", ""));
    oauth.AuthURL = field("OAuthAuthURL");
    oauth.TokenURL = field("OAuthTokenURL");
    oauth.ClientID = field("OAuthClientID");
    oauth.Scope = field("OAuthScope");
    if (!keyring) {
        oauth.ClientSecret = LoadSecret(ini, section, "OAuthClientSecret");
        oauth.Refresh = LoadSecret(ini, section, "OAuthRefresh");
    }
    return oauth;
}

const char* const OAuthKeys[] = {"Auth",          "OAuthProvider", "OAuthAuthURL",
                                 "OAuthTokenURL", "OAuthClientID", "OAuthScope"};

// A password account has none of the keys, so its section stays as it always was.
void WriteOAuth(TIniFile& ini, const std::string& section, const TAccountConfig& account) {
    if (account.Auth != TAuthKind::OAuth2) {
        for (const char* key : OAuthKeys)
            ini.DeleteKey(section, key);
        DeleteSecret(ini, section, "OAuthRefresh");
        DeleteSecret(ini, section, "OAuthClientSecret");
        return;
    }
    const TOAuthConfig& oauth = account.OAuth;
    ini.WriteString(section, "Auth", "OAuth2");
    ini.WriteString(section, "OAuthProvider", ProviderWord(oauth.Provider));
    ini.WriteString(section, "OAuthAuthURL", oauth.AuthURL);
    ini.WriteString(section, "OAuthTokenURL", oauth.TokenURL);
    ini.WriteString(section, "OAuthClientID", oauth.ClientID);
    ini.WriteString(section, "OAuthScope", oauth.Scope);
    // With the keyring the secrets are kept there, beside the password.
    if (account.Keyring) {
        DeleteSecret(ini, section, "OAuthRefresh");
        DeleteSecret(ini, section, "OAuthClientSecret");
    } else {
        WriteSecret(ini, section, "OAuthRefresh", oauth.Refresh);
        WriteSecret(ini, section, "OAuthClientSecret", oauth.ClientSecret);
    }
}

bool IsReadMarkKey(const std::string& key) {
    return !key.empty() && key[0] == 'X';
}

TAccount LoadAccount(const TIniFile& ini, const std::string& section) {
    TAccount record;
    record.AccountName =
        section.substr(std::min(section.size(), AccountPrefix.size()), MaxFieldLength);
    record.Name = Field(ini, section, "Name", "Unknown");
    record.Email = Field(ini, section, "Email", TAccount{}.Email);
    record.NoSpam = Field(ini, section, "NoSpam", TAccount{}.NoSpam);
    record.Host = Field(ini, section, "POPHost", "");
    record.Port = ini.ReadInteger(section, "POPPort", 110);
    record.User = Field(ini, section, "POPUser", "");
    record.Keyring = ini.ReadBool(section, "Keyring", false);
    if (!record.Keyring)
        record.Pass = LoadPassword(ini.ReadString(section, "POPPass", ""));
    record.SMTPHost = Field(ini, section, "SMTPHost", "");
    record.SMTPPort = ini.ReadInteger(section, "SMTPPort", 25);
    record.Secure = ini.ReadBool(section, "Secure", false);
    record.Color = ini.ReadInteger(section, "Color", NoAccountColor);
    record.Active = ini.ReadBool(section, "Active", true);
    const int tls = ini.ReadInteger(section, "TLS", 0);
    record.TLS = tls >= 0 && tls <= 2 ? static_cast<TTLSMode>(tls) : TTLSMode::None;
    record.TLSVerify = ini.ReadBool(section, "TLSVerify", true);
    // Files from before IMAP have no key: their accounts stay POP3.
    record.Protocol = SameText(TrimControl(ini.ReadString(section, "Protocol", "")), "IMAP")
                          ? TMailProtocol::IMAP
                          : TMailProtocol::POP3;
    // Absent, "Password" or a word this version does not know: a password account.
    if (SameText(TrimControl(ini.ReadString(section, "Auth", "")), "OAuth2")) {
        record.Auth = TAuthKind::OAuth2;
        record.OAuth = LoadOAuth(ini, section, record.Keyring);
    }

    // Read marks stay in the file until the next save rewrites them, so a crash
    // between load and save loses none.
    for (const auto& [key, value] : ini.ReadSectionValues(section))
        if (IsReadMarkKey(key) && !value.empty())
            record.ReadList.push_back(value);
    return record;
}

} // namespace

void WriteAccount(TIniFile& ini, const TAccountConfig& account) {
    const std::string section = AccountSection(account);
    ini.WriteString(section, "Name", account.Name);
    ini.WriteString(section, "Email", account.Email);
    ini.WriteString(section, "NoSpam", account.NoSpam);
    ini.WriteString(section, "POPHost", account.Host);
    ini.WriteInteger(section, "POPPort", account.Port);
    ini.WriteString(section, "POPUser", account.User);
    // A password in the keyring leaves an empty one here, which older versions read as
    // a wrong password rather than as anything worse.
    if (account.Keyring) {
        ini.WriteString(section, "POPPass", "");
        ini.WriteBool(section, "Keyring", true);
    } else {
        ini.WriteString(section, "POPPass", TrimControl(EncodePassword(TrimControl(account.Pass))));
        ini.DeleteKey(section, "Keyring");
    }
    ini.WriteString(section, "SMTPHost", account.SMTPHost);
    ini.WriteInteger(section, "SMTPPort", account.SMTPPort);
    ini.WriteBool(section, "Secure", account.Secure);
    ini.WriteInteger(section, "Color", account.Color);
    ini.WriteBool(section, "Active", account.Active);
    ini.WriteInteger(section, "TLS", static_cast<int>(account.TLS));
    ini.WriteBool(section, "TLSVerify", account.TLSVerify);
    // POP3 is what no key means, so a POP3 account's section stays as it always was.
    if (account.Protocol == TMailProtocol::IMAP)
        ini.WriteString(section, "Protocol", "IMAP");
    else
        ini.DeleteKey(section, "Protocol");
    WriteOAuth(ini, section, account);
}

namespace {

void WriteReadMarks(TIniFile& ini, const TAccount& account) {
    const std::string section = AccountSection(account);
    const TStringList& list = account.ReadList;
    for (size_t n = 0; n < list.size(); ++n)
        ini.WriteString(section, "X" + std::to_string(n), list[n]);
    // Any other X key is a stale mark from a longer list.
    for (const auto& [key, value] : ini.ReadSectionValues(section)) {
        if (!IsReadMarkKey(key))
            continue;
        const std::string digits = key.substr(1);
        const bool current = !digits.empty() && digits.size() < 10 &&
                             digits.find_first_not_of("0123456789") == std::string::npos &&
                             (digits == "0" || digits[0] != '0') &&
                             std::stoul(digits) < list.size();
        if (!current)
            ini.DeleteKey(section, key);
    }
}

} // namespace

std::string SettingsFileName() {
    return SettingsFolder() + "/quillbar.ini";
}

bool SettingsFileIsNew() {
    std::error_code error;
    return std::filesystem::symlink_status(SettingsFileName(), error).type() ==
           std::filesystem::file_type::not_found;
}

TOptions NewFileOptions(bool notificationService) {
    TOptions options;
    options.IntervalCheck = true;
    options.Interval = 5;
    options.Notify = notificationService;
    options.Edge = abeTop;
    return options;
}

void LoadSettings(TOptions& options, std::vector<TAccount>& accounts) {
    TIniFile ini(SettingsFileName());
    TIniUpdate oneRead(ini);
    options = TOptions{};
    accounts.clear();

    const std::string o = "Options";
    options.Interval = ini.ReadInteger(o, "Interval", 5);
    options.IntervalCheck = ini.ReadBool(o, "IntervalCheck", false);
    options.Skin = ini.ReadString(o, "Skin", "Default");
    options.PlaySound = ini.ReadBool(o, "PlaySound", false);
    options.SoundFile = ini.ReadString(o, "SoundFile", "");
    options.Notify = ini.ReadBool(o, "Notify", false);
    options.QuietHours = ini.ReadBool(o, "QuietHours", false);
    options.QuietFrom =
        ParseClockTime(ini.ReadString(o, "QuietFrom", "")).value_or(options.QuietFrom);
    options.QuietTo = ParseClockTime(ini.ReadString(o, "QuietTo", "")).value_or(options.QuietTo);
    options.ButtonWidth = ini.ReadInteger(o, "ButtonWidth", 100);
    options.AutoHide = ini.ReadBool(o, "AutoHide", false);
    if (!ini.ReadString(o, "TrayIcon", "").empty())
        options.TrayIcon = ini.ReadBool(o, "TrayIcon", false);
    options.ScrollDelay = ini.ReadInteger(o, "ScrollDelay", 5000);
    options.ScrollSpeed = ini.ReadInteger(o, "ScrollSpeed", 1000);
    options.Scroll = ini.ReadBool(o, "Scroll", true);
    options.MaxWarning = ini.ReadBool(o, "MaxWarning", false);
    options.MaxSize = ini.ReadInteger(o, "MaxSize", 20000);
    options.MaxLines = ini.ReadInteger(o, "MaxLines", 200);
    options.MaxAsk = ini.ReadBool(o, "MaxAsk", true);
    options.DeleteConfirm = ini.ReadBool(o, "DeleteConfirm", true);
    options.ViewHTMLImages = ini.ReadBool(o, "ViewHTMLImages", true);

    for (const std::string& section : ini.ReadSections())
        if (IsAccountSection(section))
            accounts.push_back(LoadAccount(ini, section));

    for (const auto& [key, value] : ini.ReadSectionValues("Attachments"))
        options.Attachments.push_back({key, ini.ReadInteger("Attachments", key, 0) == 1
                                                ? TAttachmentAction::Save
                                                : TAttachmentAction::Open});

    // Edges outside the known range would confuse docking; they float like a missing one.
    const int edge = ini.ReadInteger("Bar", "Edge", -1);
    options.Edge = edge >= abeLeft && edge <= abeFloat ? static_cast<uint8_t>(edge)
                                                       : static_cast<uint8_t>(abeFloat);
    options.Left = ini.ReadInteger("Bar", "Left", -1);
    options.Top = ini.ReadInteger("Bar", "Top", -1);
    options.Width = ini.ReadInteger("Bar", "Width", -1);
}

void WriteOptions(TIniFile& ini, const TOptions& options, const std::vector<TAccount>& accounts) {
    const std::string o = "Options";
    ini.WriteInteger(o, "Interval", options.Interval);
    ini.WriteBool(o, "IntervalCheck", options.IntervalCheck);
    ini.WriteString(o, "Skin", options.Skin);
    ini.WriteBool(o, "PlaySound", options.PlaySound);
    ini.WriteString(o, "SoundFile", options.SoundFile);
    ini.WriteInteger(o, "ButtonWidth", options.ButtonWidth);
    ini.WriteInteger(o, "ScrollDelay", options.ScrollDelay);
    ini.WriteInteger(o, "ScrollSpeed", options.ScrollSpeed);
    ini.WriteBool(o, "Scroll", options.Scroll);
    ini.WriteBool(o, "MaxWarning", options.MaxWarning);
    ini.WriteInteger(o, "MaxSize", options.MaxSize);
    ini.WriteInteger(o, "MaxLines", options.MaxLines);
    ini.WriteBool(o, "MaxAsk", options.MaxAsk);
    ini.WriteBool(o, "DeleteConfirm", options.DeleteConfirm);
    ini.WriteBool(o, "ViewHTMLImages", options.ViewHTMLImages);
    ini.WriteBool(o, "AutoHide", options.AutoHide);
    ini.WriteBool(o, "Notify", options.Notify);
    if (options.TrayIcon)
        ini.WriteBool(o, "TrayIcon", *options.TrayIcon);
    else
        ini.DeleteKey(o, "TrayIcon");
    ini.WriteBool(o, "QuietHours", options.QuietHours);
    ini.WriteString(o, "QuietFrom", ClockTimeText(options.QuietFrom));
    ini.WriteString(o, "QuietTo", ClockTimeText(options.QuietTo));

    ini.WriteInteger("Bar", "Edge", options.Edge);
    if (options.Edge == abeFloat) {
        ini.WriteInteger("Bar", "Left", options.Left);
        ini.WriteInteger("Bar", "Top", options.Top);
        ini.WriteInteger("Bar", "Width", options.Width);
    }

    for (const TExtension& extension : options.Attachments)
        ini.WriteInteger("Attachments", extension.Extension, static_cast<int>(extension.Action));

    for (const TAccount& account : accounts)
        WriteReadMarks(ini, account);
}

void EraseAccount(TIniFile& ini, const std::string& accountName) {
    ini.EraseSection(AccountPrefix + accountName);
}

bool SaveOptions(const TOptions& options, const std::vector<TAccount>& accounts) {
    TIniFile ini(SettingsFileName());
    ini.BeginUpdate();
    WriteOptions(ini, options, accounts);
    return ini.EndUpdate();
}

bool SaveAccount(const TAccountConfig& account) {
    TIniFile ini(SettingsFileName());
    ini.BeginUpdate();
    WriteAccount(ini, account);
    return ini.EndUpdate();
}

int IndexOfText(const TStringList& list, const std::string& text) {
    for (size_t i = 0; i < list.size(); ++i)
        if (SameText(list[i], text))
            return static_cast<int>(i);
    return -1;
}
