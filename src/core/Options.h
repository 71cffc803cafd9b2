// The settings file's records and format: the options and accounts of quillbar.ini.
#pragma once

#include "core/AppBarEdge.h"
#include "core/MailProtocol.h"
#include "core/OAuthConfig.h"
#include "core/TLSMode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// What is done with an attachment; the settings file keeps the numbers.
enum class TAttachmentAction : uint8_t { Open = 0, Save = 1 };

// The remembered action for an attachment's file extension.
struct TExtension {
    std::string Extension;
    TAttachmentAction Action = TAttachmentAction::Open;
    bool operator==(const TExtension&) const = default;
};

struct TOptions {
    int Interval = 5;
    bool IntervalCheck = false;
    std::string Skin = "Default";
    bool PlaySound = false;
    std::string SoundFile;
    bool Notify = false; // a desktop notification besides the bar
    // No sound and no notification from QuietFrom to QuietTo, minutes after midnight.
    bool QuietHours = false;
    int QuietFrom = 22 * 60;
    int QuietTo = 7 * 60;
    int ButtonWidth = 100;
    uint8_t Edge = abeFloat;
    int Top = -1;
    int Left = -1;
    int Width = -1;
    bool AutoHide = false;
    // The status icon; unset, it shows only where the bar cannot dock.
    std::optional<bool> TrayIcon;
    int ScrollDelay = 5000;
    int ScrollSpeed = 1000;
    bool Scroll = true;
    bool MaxWarning = false;
    int MaxSize = 20000;
    int MaxLines = 200;
    bool MaxAsk = true;
    bool DeleteConfirm = true;
    bool ViewHTMLImages = true;
    std::vector<TExtension> Attachments;
    bool operator==(const TOptions&) const = default;
};

constexpr int NoAccountColor = 0x1FFFFFFF;
// Longest text of a fixed-length account field.
constexpr size_t MaxFieldLength = 255;

// What the user configured for an account: the account dialog edits exactly this.
struct TAccountConfig {
    std::string AccountName;
    std::string Name = "Unknown";
    std::string Email = "user@example.com";
    std::string NoSpam;
    std::string Host;
    int Port = 110;
    std::string User;
    std::string Pass; // clear text in memory, encoded in the file
    // The password is kept in the system keyring (Pass empty), read at each job.
    bool Keyring = false;
    std::string SMTPHost;
    int SMTPPort = 25;
    bool Secure = false; // APOP login
    int Color = NoAccountColor;
    bool Active = true;
    TTLSMode TLS = TTLSMode::None;
    bool TLSVerify = true;
    TMailProtocol Protocol = TMailProtocol::POP3;
    TAuthKind Auth = TAuthKind::Password;
    TOAuthConfig OAuth; // read and written only for an OAuth2 account
    bool operator==(const TAccountConfig&) const = default;
};

// A stored account: its configuration and the read marks the user made, which the file
// keeps too. What a check learns at run time belongs to the message store.
struct TAccount : TAccountConfig {
    TStringList ReadList; // UIDs the user marked read
    bool operator==(const TAccount&) const = default;
};

// quillbar.ini in the settings folder (see Folders.h).
std::string SettingsFileName();

// True while no settings file exists: the first start. A file that cannot be examined
// counts as existing, so that its values are never replaced.
bool SettingsFileIsNew();

// What a new settings file starts with: the other defaults, with a timed check every five
// minutes, the bar docked at the top, and notifications where the desktop shows them. A
// file that exists keeps reading a missing key as off or floating, as it always did.
TOptions NewFileOptions(bool notificationService);

// Fills options and accounts from the settings file; a missing or unreadable file,
// or values that cannot be read, give the defaults. Never writes the file.
void LoadSettings(TOptions& options, std::vector<TAccount>& accounts);

class TIniFile;
// Writes the options, the bar position, the attachment actions and every account's
// read marks X0 ... X(n-1) (dropping any other X keys).
void WriteOptions(TIniFile& ini, const TOptions& options, const std::vector<TAccount>& accounts);
// Writes the account's configuration into its section (its read marks go with WriteOptions).
void WriteAccount(TIniFile& ini, const TAccountConfig& account);
// Erases the account's section, read marks included.
void EraseAccount(TIniFile& ini, const std::string& accountName);

// The same as one atomic replace of the settings file; false when it could not be written.
bool SaveOptions(const TOptions& options, const std::vector<TAccount>& accounts);
bool SaveAccount(const TAccountConfig& account);

// Position of text in list ignoring letter case, or -1.
int IndexOfText(const TStringList& list, const std::string& text);
