// Settings store: the options and accounts mirrored from AppPath/quillbar.ini.
#pragma once

#include "core/AppBarEdge.h"
#include "core/TLSMode.h"

#include <cstdint>
#include <string>
#include <vector>

using TStringList = std::vector<std::string>;

// The remembered action for an attachment's file extension: 0 open, 1 save.
struct TExtension {
    std::string Extension;
    uint8_t Action = 0;
    bool operator==(const TExtension&) const = default;
};

struct TOptions {
    int Interval = 5;
    bool IntervalCheck = false;
    std::string Skin = "Default";
    bool PlaySound = false;
    std::string SoundFile;
    int ButtonWidth = 100;
    uint8_t Edge = abeFloat;
    int Top = -1;
    int Left = -1;
    int Width = -1;
    bool AutoHide = false;
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

struct TAccount {
    std::string AccountName;
    std::string Name = "Unknown";
    std::string Email = "user@example.com";
    std::string NoSpam = "nospam@example.com";
    std::string POPHost;
    int POPPort = 110;
    std::string POPUser;
    std::string POPPass; // clear text in memory, encoded in the file
    std::string SMTPHost;
    int SMTPPort = 25;
    bool Secure = false; // APOP login
    int Color = NoAccountColor;
    TStringList ReadList;   // UIDs the user marked read
    TStringList ServerList; // UIDs seen on the server by the last completed check
    bool Active = true;
    int TLS = tlsNone;
    bool TLSVerify = true;
    bool operator==(const TAccount&) const = default;
};

extern TOptions Options;
extern std::vector<TAccount> Accounts;

// AppPath + "/quillbar.ini".
std::string SettingsFileName();

// Fills Options and Accounts from the settings file; a missing or unreadable file,
// or values that cannot be read, give the defaults. Never writes the file.
void LoadSettings();
// Writes the options, the bar position, the attachment actions and every account's
// read marks X0 ... X(n-1) (dropping any other X keys) as one atomic replace.
void SaveOptions();
// Appends a copy of record with empty read and server lists; writes its section when write.
void AddAccount(const TAccount& record, bool write);
void SaveAccount(size_t index);
// Erases the account's section and removes it from Accounts.
void DeleteAccount(size_t index);

// Position of text in list ignoring letter case, or -1.
int IndexOfText(const TStringList& list, const std::string& text);
