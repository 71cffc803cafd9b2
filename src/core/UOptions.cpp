// Settings store: loading and saving Options and Accounts in the profile file.
#include "UOptions.h"

#include "IniFile.h"
#include "UCrypt.h"
#include "UGlobal.h"

#include <cctype>

TOptions Options;
std::vector<TAccount> Accounts;

namespace {

const std::string AccountPrefix = "Account=";

std::string Field(const TIniFile& ini, const std::string& section, const std::string& key,
                  const std::string& def) {
    return ini.ReadString(section, key, def).substr(0, MaxFieldLength);
}

bool IsAccountSection(const std::string& name) {
    return SameText(name.substr(0, name.find('=')), "Account");
}

std::string AccountSection(const TAccount& account) {
    return AccountPrefix + account.AccountName;
}

// A stored password that cannot be decoded loads as empty rather than stopping the start.
std::string LoadPassword(const std::string& stored) {
    try {
        return TrimControl(DecodePassword(TrimControl(stored))).substr(0, MaxFieldLength);
    } catch (const EConvertError&) {
        return {};
    }
}

bool IsReadMarkKey(const std::string& key) {
    return !key.empty() && key[0] == 'X';
}

void LoadAccount(const TIniFile& ini, const std::string& section) {
    TAccount record;
    record.AccountName =
        section.substr(std::min(section.size(), AccountPrefix.size()), MaxFieldLength);
    record.Name = Field(ini, section, "Name", "Unknown");
    record.Email = Field(ini, section, "Email", TAccount{}.Email);
    record.NoSpam = Field(ini, section, "NoSpam", TAccount{}.NoSpam);
    record.POPHost = Field(ini, section, "POPHost", "");
    record.POPPort = ini.ReadInteger(section, "POPPort", 110);
    record.POPUser = Field(ini, section, "POPUser", "");
    record.POPPass = LoadPassword(ini.ReadString(section, "POPPass", ""));
    record.SMTPHost = Field(ini, section, "SMTPHost", "");
    record.SMTPPort = ini.ReadInteger(section, "SMTPPort", 25);
    record.Secure = ini.ReadBool(section, "Secure", false);
    record.Color = ini.ReadInteger(section, "Color", NoAccountColor);
    record.Active = ini.ReadBool(section, "Active", true);
    const int tls = ini.ReadInteger(section, "TLS", tlsNone);
    record.TLS = tls >= tlsNone && tls <= tlsPOP3S ? tls : tlsNone;
    record.TLSVerify = ini.ReadBool(section, "TLSVerify", true);
    AddAccount(record, false);

    // Read marks stay in the file until the next save rewrites them, so a crash
    // between load and save loses none.
    TStringList& readList = Accounts.back().ReadList;
    for (const auto& [key, value] : ini.ReadSectionValues(section))
        if (IsReadMarkKey(key) && !value.empty())
            readList.push_back(value);
}

void WriteAccount(TIniFile& ini, const TAccount& account) {
    const std::string section = AccountSection(account);
    ini.WriteString(section, "Name", account.Name);
    ini.WriteString(section, "Email", account.Email);
    ini.WriteString(section, "NoSpam", account.NoSpam);
    ini.WriteString(section, "POPHost", account.POPHost);
    ini.WriteInteger(section, "POPPort", account.POPPort);
    ini.WriteString(section, "POPUser", account.POPUser);
    ini.WriteString(section, "POPPass", TrimControl(EncodePassword(TrimControl(account.POPPass))));
    ini.WriteString(section, "SMTPHost", account.SMTPHost);
    ini.WriteInteger(section, "SMTPPort", account.SMTPPort);
    ini.WriteBool(section, "Secure", account.Secure);
    ini.WriteInteger(section, "Color", account.Color);
    ini.WriteBool(section, "Active", account.Active);
    ini.WriteInteger(section, "TLS", account.TLS);
    ini.WriteBool(section, "TLSVerify", account.TLSVerify);
}

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
    return AppPath + "/quillbar.ini";
}

void LoadSettings() {
    TIniFile ini(SettingsFileName());
    TIniUpdate oneRead(ini);
    Options = TOptions{};
    Accounts.clear();

    const std::string o = "Options";
    Options.Interval = ini.ReadInteger(o, "Interval", 5);
    Options.IntervalCheck = ini.ReadBool(o, "IntervalCheck", false);
    Options.Skin = ini.ReadString(o, "Skin", "Default");
    Options.PlaySound = ini.ReadBool(o, "PlaySound", false);
    Options.SoundFile = ini.ReadString(o, "SoundFile", "");
    Options.ButtonWidth = ini.ReadInteger(o, "ButtonWidth", 100);
    Options.AutoHide = ini.ReadBool(o, "AutoHide", false);
    Options.ScrollDelay = ini.ReadInteger(o, "ScrollDelay", 5000);
    Options.ScrollSpeed = ini.ReadInteger(o, "ScrollSpeed", 1000);
    Options.Scroll = ini.ReadBool(o, "Scroll", true);
    Options.MaxWarning = ini.ReadBool(o, "MaxWarning", false);
    Options.MaxSize = ini.ReadInteger(o, "MaxSize", 20000);
    Options.MaxLines = ini.ReadInteger(o, "MaxLines", 200);
    Options.MaxAsk = ini.ReadBool(o, "MaxAsk", true);
    Options.DeleteConfirm = ini.ReadBool(o, "DeleteConfirm", true);
    Options.ViewHTMLImages = ini.ReadBool(o, "ViewHTMLImages", true);

    for (const std::string& section : ini.ReadSections())
        if (IsAccountSection(section))
            LoadAccount(ini, section);

    for (const auto& [key, value] : ini.ReadSectionValues("Attachments"))
        Options.Attachments.push_back(
            {key, static_cast<uint8_t>(ini.ReadInteger("Attachments", key, 0))});

    // Edges outside the known range would confuse docking; they float like a missing one.
    const int edge = ini.ReadInteger("Bar", "Edge", -1);
    Options.Edge = edge >= abeLeft && edge <= abeFloat ? static_cast<uint8_t>(edge)
                                                       : static_cast<uint8_t>(abeFloat);
    Options.Left = ini.ReadInteger("Bar", "Left", -1);
    Options.Top = ini.ReadInteger("Bar", "Top", -1);
    Options.Width = ini.ReadInteger("Bar", "Width", -1);
}

void SaveOptions() {
    TIniFile ini(SettingsFileName());
    TIniUpdate oneWrite(ini);

    const std::string o = "Options";
    ini.WriteInteger(o, "Interval", Options.Interval);
    ini.WriteBool(o, "IntervalCheck", Options.IntervalCheck);
    ini.WriteString(o, "Skin", Options.Skin);
    ini.WriteBool(o, "PlaySound", Options.PlaySound);
    ini.WriteString(o, "SoundFile", Options.SoundFile);
    ini.WriteInteger(o, "ButtonWidth", Options.ButtonWidth);
    ini.WriteInteger(o, "ScrollDelay", Options.ScrollDelay);
    ini.WriteInteger(o, "ScrollSpeed", Options.ScrollSpeed);
    ini.WriteBool(o, "Scroll", Options.Scroll);
    ini.WriteBool(o, "MaxWarning", Options.MaxWarning);
    ini.WriteInteger(o, "MaxSize", Options.MaxSize);
    ini.WriteInteger(o, "MaxLines", Options.MaxLines);
    ini.WriteBool(o, "MaxAsk", Options.MaxAsk);
    ini.WriteBool(o, "DeleteConfirm", Options.DeleteConfirm);
    ini.WriteBool(o, "ViewHTMLImages", Options.ViewHTMLImages);
    ini.WriteBool(o, "AutoHide", Options.AutoHide);

    ini.WriteInteger("Bar", "Edge", Options.Edge);
    if (Options.Edge == abeFloat) {
        ini.WriteInteger("Bar", "Left", Options.Left);
        ini.WriteInteger("Bar", "Top", Options.Top);
        ini.WriteInteger("Bar", "Width", Options.Width);
    }

    for (const TExtension& extension : Options.Attachments)
        ini.WriteInteger("Attachments", extension.Extension, extension.Action);

    for (const TAccount& account : Accounts)
        WriteReadMarks(ini, account);
}

void AddAccount(const TAccount& record, bool write) {
    Accounts.push_back(record);
    Accounts.back().ReadList.clear();
    Accounts.back().ServerList.clear();
    if (write)
        SaveAccount(Accounts.size() - 1);
}

void SaveAccount(size_t index) {
    if (index >= Accounts.size())
        return;
    TIniFile ini(SettingsFileName());
    TIniUpdate oneWrite(ini);
    WriteAccount(ini, Accounts[index]);
}

void DeleteAccount(size_t index) {
    if (index >= Accounts.size())
        return;
    TIniFile(SettingsFileName()).EraseSection(AccountSection(Accounts[index]));
    Accounts.erase(Accounts.begin() + static_cast<std::ptrdiff_t>(index));
}

int IndexOfText(const TStringList& list, const std::string& text) {
    for (size_t i = 0; i < list.size(); ++i)
        if (SameText(list[i], text))
            return static_cast<int>(i);
    return -1;
}
